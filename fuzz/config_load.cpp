// The configuration file reader and the queue-transmit list reader over any file content. A file that
// loads is saved, and the saved file must load cleanly (entries that cannot be sent are named again)
// and save to the same text again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/appcfg.h"
#include "config/queuetxfile.h"
#include "platform/qt/settingsstore.h"

namespace {

const std::string& folder() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexfuzz-config-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        return tmpl;
    }();
    return dir;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Opening and saving exchange the window orders with an in-memory registry, not the user's settings.
    static vex::MemorySettingsStore registry;
    static const vex::ScopedSettingsStore useRegistry(registry);
    const std::string in = folder() + "/in.xml";
    const std::string out = folder() + "/out.xml";
    if (FILE* f = std::fopen(in.c_str(), "wb")) {
        if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    } else {
        std::abort();
    }

    CAppCfg cfg;
    std::string message, error;
    std::string ignored;
    LoadQueueTxMsgFile(cfg, in, ignored);
    if (!cfg.OpenConfig(in, message)) return 0;
    if (!cfg.SaveConfigAs(out, error)) fail("save", error);
    CAppCfg again;
    if (!again.OpenConfig(out, message)) fail("saved file does not load", message);
    // Send and queue entries that cannot be sent are written back as read and named again; nothing else may
    // be.
    std::string bytes;
    const CfgLoadStatus status = CAppCfg().LoadConfigFile(out, bytes, message);
    if (status != CfgLoadStatus::Ok && status != CfgLoadStatus::UnsendableKept)
        fail("saved file does not load cleanly", message);
    if (again.IsModified()) fail("saved file reads back to another text", out);
    std::string text;
    again.SaveConfigFile({}, text, error);
    if (text != cfg.FileText()) {
        again.SaveConfigAs(out + ".again", error);
        if (FILE* f = std::fopen((out + ".mem1").c_str(), "wb")) {
            std::fwrite(cfg.FileText().data(), 1, cfg.FileText().size(), f);
            std::fclose(f);
        }
        if (FILE* f = std::fopen((out + ".mem2").c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        fail("text differs", out + " and " + out + ".again");
    }
    return 0;
}
