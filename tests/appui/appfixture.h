#pragma once
// A workspace on the emulated bus with private settings and a private folder for its configuration.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/canworkspace.h"
#include "platform/qt/settingsstore.h"
#include "tests/common/testsupport.h"
#include "tests/deviceport/emutest.h"

namespace apptest {

class WorkspaceTest : public emutest::EmuTest {
protected:
    void SetUp() override {
        EmuTest::SetUp();
        m_scoped.emplace(store);
        ws = std::make_unique<CCanWorkspace>(dir.path().string());
    }
    void TearDown() override {
        ws.reset();
        m_scoped.reset();
        EmuTest::TearDown();
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

}  // namespace apptest
