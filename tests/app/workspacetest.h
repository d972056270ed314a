#pragma once
// A workspace on the silent emulated bus, with private settings and a private folder for its configuration.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/canworkspace.h"
#include "platform/qt/settingsstore.h"
#include "tests/common/testsupport.h"
#include "tests/deviceport/emutest.h"

namespace wstest {

class WorkspaceTest : public emutest::EmuTest {
protected:
    void SetUp() override {
        EmuTest::SetUp();
        m_scoped.emplace(store);
    }
    void TearDown() override {
        ws.reset();
        m_scoped.reset();
        EmuTest::TearDown();
    }
    // A new workspace, as the program starts it.
    CCanWorkspace& Make() {
        ws = std::make_unique<CCanWorkspace>(dir.path().string());
        return *ws;
    }
    // Only the given interface Active, both channels at `kbit`.
    void Select(size_t index, uint16_t kbit = 1000) {
        for (size_t i = 0; i < 3; ++i) {
            ws->Cfg().CanDev[i].Active = i == index ? 1 : 0;
            ws->Cfg().CanDev[i].CHAN0.Baudrate = ws->Cfg().CanDev[i].CHAN1.Baudrate = kbit;
        }
    }
    std::vector<tINFO_MSG> Infos() {
        std::vector<tINFO_MSG> out;
        tINFO_MSG m;
        while (ws->InfoRing().Pop(m)) out.push_back(m);
        return out;
    }
    std::string Path(const std::string& name) const { return (dir.path() / name).string(); }

    vextest::TempDir dir;
    vex::MemorySettingsStore store;
    std::unique_ptr<CCanWorkspace> ws;

private:
    std::optional<vex::ScopedSettingsStore> m_scoped;
};

}  // namespace wstest
