#pragma once
// A workspace on the emulated bus with private settings and a private folder for its configuration, and
// stand-ins for the monitoring windows.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "app/canworkspace.h"
#include "app/ui/mainframe.h"
#include "platform/qt/settingsstore.h"
#include "tests/common/testsupport.h"
#include "tests/deviceport/emutest.h"

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
