// Throughput of the XML document on a 5 MB configuration with databases, the size of a large setup.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/xml/xmldoc.h"
#include "tests/xml/xmldoc_peer.h"

namespace {

// Messages with signals as the configuration file holds them, until the document reaches `bytes`.
CXmlDoc buildDoc(size_t bytes) {
    CXmlDoc doc;
    doc.NewElem("VEXAR_CFG_FILE", 0);
    doc.NewElem("CFG_CAN_DATABASE", CXmlDoc::kAsChild);
    doc.EnterChildElem();
    doc.WriteAttr("Name", "\xE8\xBD\xA6\xE8\xBE\x86\xE6\x80\xBB\xE7\xBA\xBF");  // 车辆总线
    doc.NewElem("CAN_DATABASE", CXmlDoc::kAsChild);
    doc.EnterChildElem();
    for (int m = 0; CXmlDocTestPeer::TextSize(doc) < bytes; ++m) {
        doc.NewElem("CAN_MSG", CXmlDoc::kAsChild);
        doc.EnterChildElem();
        doc.WriteAttr("Name", "MSG_" + std::to_string(m));
        doc.WriteAttr("Id", std::to_string(0x100 + m));
        doc.WriteAttr("Ext", "0");
        doc.WriteAttr("Len", "8");
        for (int s = 0; s < 16; ++s) {
            doc.NewElem("CAN_SIGNAL", CXmlDoc::kAsChild);
            doc.EnterChildElem();
            doc.WriteAttr("Name", "SIG_" + std::to_string(m) + "_" + std::to_string(s));
            doc.WriteAttr("StartBit", std::to_string(s * 4));
            doc.WriteAttr("BitLen", "4");
            doc.WriteAttr("Factor", "0.1");
            doc.WriteAttr("Offset", "-40");
            doc.WriteAttr("Unit", "km/h");
            doc.WriteAttr("Desc", "\xE8\xBD\xA6\xE9\x80\x9F <&>");
            doc.LeaveElem();
        }
        doc.LeaveElem();
    }
    return doc;
}

const std::string& text5MB() {
    static const std::string text = buildDoc(5u << 20).GetText();
    return text;
}

void BM_XmlParse5MB(benchmark::State& state) {
    const std::string& text = text5MB();
    for (auto _ : state) {
        CXmlDoc doc;
        CXmlDocTestPeer::SetText(doc, text);
        benchmark::DoNotOptimize(doc.Parse());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_XmlParse5MB)->Unit(benchmark::kMillisecond);

// From the GBK file on disk to a navigable document.
void BM_XmlLoadAndParse5MB(benchmark::State& state) {
    CXmlDoc source;
    CXmlDocTestPeer::SetText(source, text5MB());
    char path[] = "/tmp/vexbench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || !source.SaveWithDeclaration(path)) {
        state.SkipWithError("cannot write the document");
        return;
    }
    close(fd);
    size_t bytes = 0;
    for (auto _ : state) {
        CXmlDoc doc;
        doc.LoadFile(path);
        benchmark::DoNotOptimize(doc.Parse());
        bytes = doc.GetText().size();
    }
    std::remove(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_XmlLoadAndParse5MB)->Unit(benchmark::kMillisecond);

// Building the same document with NewElem and WriteAttr, as saving the configuration does.
void BM_XmlBuild5MB(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) bytes = CXmlDocTestPeer::TextSize(buildDoc(5u << 20));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_XmlBuild5MB)->Unit(benchmark::kMillisecond);

// Reading every signal's attributes back, as loading the configuration does.
void BM_XmlReadAll5MB(benchmark::State& state) {
    CXmlDoc doc;
    CXmlDocTestPeer::SetText(doc, text5MB());
    doc.Parse();
    int64_t signals = 0;
    for (auto _ : state) {
        doc.Parse();
        doc.FindNextElem("VEXAR_CFG_FILE");
        doc.SeekChildElem("CFG_CAN_DATABASE");
        doc.EnterChildElem();
        doc.SeekChildElem("CAN_DATABASE");
        doc.EnterChildElem();
        while (doc.SeekChildElem("CAN_MSG")) {
            doc.EnterChildElem();
            benchmark::DoNotOptimize(doc.ReadAttr("Id"));
            while (doc.SeekChildElem("CAN_SIGNAL")) {
                doc.EnterChildElem();
                benchmark::DoNotOptimize(doc.ReadAttr("Factor"));
                benchmark::DoNotOptimize(doc.ReadAttr("Desc"));
                doc.LeaveElem();
                ++signals;
            }
            doc.LeaveElem();
        }
    }
    state.SetItemsProcessed(signals);
}
BENCHMARK(BM_XmlReadAll5MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
