// The database readers of the configuration file over any text: the configuration's database list, and
// a database element at the top. Whatever is read is written again, and the written form must read back
// to a database that writes the very same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "candb/canxml.h"
#include "candb/cfgcandb.h"
#include "platform/xml/xmldoc.h"
#include "tests/xml/xmldoc_peer.h"

namespace {

std::string written(const std::vector<tCFG_CAN_DATABASE>& list) {
    CXmlDoc doc;
    doc.NewElem("VEXAR_CFG_FILE", 0);
    SaveXmlCfgCanDatabaseList(doc, list);
    return doc.GetText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDoc doc;
    CXmlDocTestPeer::SetText(doc, std::string(reinterpret_cast<const char*>(data), size));
    doc.Parse();
    std::vector<tCFG_CAN_DATABASE> list = LoadXmlCfgCanDatabaseList(doc);

    CXmlDoc top;
    CXmlDocTestPeer::SetText(top, std::string(reinterpret_cast<const char*>(data), size));
    top.Parse();
    tCFG_CAN_DATABASE extra;
    if (LoadXmlCanDatabase(top, extra.Database)) list.push_back(extra);

    const std::string text1 = written(list);
    CXmlDoc again;
    CXmlDocTestPeer::SetText(again, text1);
    if (!again.Parse()) {
        std::fprintf(stderr, "written text does not parse: %s\n", again.GetResult().c_str());
        std::abort();
    }
    if (written(LoadXmlCfgCanDatabaseList(again)) != text1) {
        std::fprintf(stderr, "database list does not read back\n");
        std::abort();
    }
    return 0;
}
