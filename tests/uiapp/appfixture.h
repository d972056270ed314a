#pragma once
// A workspace on the emulated bus, and stand-ins for the monitoring windows.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "platform/qt/namedmutex.h"
#include "platform/qt/settingsstore.h"
#include "tests/app/workspacetest.h"
#include "tests/common/fakeprompt.h"
#include "tests/common/testsupport.h"
#include "ui/app/mainframe.h"
#include "ui/app/vexariumapp.h"

namespace apptest {

using Log = std::vector<std::string>;

// One stand-in for the three monitoring windows: it logs every call with its window's name.
class FakeChild final : public CFrameTraceWnd, public CFrameGraphWnd, public CFrameSendWnd {
public:
    FakeChild(Log& log, std::string name) : m_log(log), m_name(std::move(name)) {}
    QWidget* Widget() override { return m_widget; }
    void ClearTrace() override { add("clear"); }
    void ResumeLive() override { add("resume"); }
    void ApplyGraphSigCfg() override { add("apply"); }
    void StartGraph() override { add("start"); }
    void StopGraph() override { add("stop"); }
    void SetReplayPage(bool on) override { add(on ? "replay page" : "live"); }
    bool HasMsgView() const override { return true; }
    bool HasSigView() const override { return true; }
    void ReloadMsgList() override { add("reload"); }
    void CheckSingleChanDev() override { add("check"); }
    void ResetCycColumn() override { add("cyc 0"); }
    void ResetSigList() override { add("sig reset"); }
    void SaveLayout(tWND_SPLITTER& s) override { s.C0 = 123; }
    void RestoreLayout(const tWND_SPLITTER& s) override { add("restore " + std::to_string(s.C0)); }

private:
    void add(const std::string& what) { m_log.push_back(m_name + " " + what); }
    Log& m_log;
    std::string m_name;
    QWidget* m_widget = new QWidget;
};

inline void InstallFakeChildren(CMainFrame& frame, Log& log) {
    frame.SetTraceWndFactory([&log](CCanWorkspace&) { return std::make_unique<FakeChild>(log, "trace"); });
    frame.SetGraphWndFactory([&log](CCanWorkspace&) { return std::make_unique<FakeChild>(log, "graph"); });
    frame.SetSendWndFactory([&log](CCanWorkspace&) { return std::make_unique<FakeChild>(log, "send"); });
}

// What the application object needs to start as the program does, in a private folder with private
// settings, a scripted prompt and a sibling probe of the test's.
struct AppRig {
    CVexariumApp::Options Options(int tickMs) {
        return {dir.path().string(), dir.path().string(), "", false, {&probe, tickMs}};
    }

    vextest::TempDir dir;
    vex::MemorySettingsStore store;
    vex::ScopedSettingsStore useStore{store};
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    vex::FakeSiblingProbe probe;
};

// A workspace made at the start of each test.
class WorkspaceTest : public wstest::WorkspaceTest {
protected:
    void SetUp() override {
        wstest::WorkspaceTest::SetUp();
        Make();
    }
};

}  // namespace apptest
