#pragma once
// Helpers of the send window suites: a workspace on the emulated bus with scripted message boxes, and
// small transmit records and signals.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "app/canworkspace.h"
#include "platform/qt/fakeprompt.h"
#include "platform/qt/settingsstore.h"
#include "tests/common/testsupport.h"
#include "tests/deviceport/emutest.h"

namespace sendtest {

inline CCanSignal Sig(const std::string& name, uint8_t bitOffset, uint8_t bitLen, bool intel = true,
                      bool sign = false, double factor = 1.0, double offset = 0.0) {
    CCanSignal s;
    s.Name = name;
    s.BitOffset = bitOffset;
    s.BitLen = bitLen;
    s.ByteFmtIntel = intel ? 1 : 0;
    s.Sign = sign ? 1 : 0;
    s.ValFactor = factor;
    s.ValOffset = offset;
    return s;
}

inline tCFG_SET_SEND_MSG Rec(const std::string& name, uint32_t id, uint8_t ext = 0, uint8_t chan = 0,
                             std::initializer_list<uint8_t> data = {}, uint16_t period = 100) {
    tCFG_SET_SEND_MSG r;
    r.MsgName = name;
    r.MsgID = id;
    r.Ext = ext;
    r.Chan = chan;
    r.DL = static_cast<uint8_t>(data.size());
    size_t i = 0;
    for (uint8_t b : data) r.TxData[i++] = b;
    r.CycTxTime = period;
    return r;
}

// A fresh workspace in a private folder, on a silent emulated bus, with message boxes answered by a fake.
class SendTest : public emutest::EmuTest {
protected:
    void SetUp() override {
        EmuTest::SetUp();
        m_store.emplace(store);
        ws = std::make_unique<CCanWorkspace>(dir.path().string());
        m_prompt.emplace(prompt);
    }
    void TearDown() override {
        ws->GoOffline();
        m_prompt.reset();
        ws.reset();
        m_store.reset();
        EmuTest::TearDown();
    }
    // Goes online on the one interface chosen (both channels at 500 kbit/s) and records what it sends.
    void GoOnline(size_t device = CAppCfg::kDevNxp) {
        for (size_t i = 0; i < 3; ++i) {
            ws->Cfg().CanDev[i].Active = i == device ? 1 : 0;
            ws->Cfg().CanDev[i].CHAN0.Baudrate = ws->Cfg().CanDev[i].CHAN1.Baudrate = 500;
        }
        ASSERT_TRUE(ws->GoOnline());
        vex::emu::peer::SetRecording(true);
    }
    std::vector<QString> Messages() const {
        std::vector<QString> out;
        for (const auto& m : prompt.messages) out.push_back(m.text);
        return out;
    }

    vextest::TempDir dir;
    vex::MemorySettingsStore store;
    vex::FakePrompt prompt;
    std::unique_ptr<CCanWorkspace> ws;

private:
    std::optional<vex::ScopedSettingsStore> m_store;
    std::optional<vex::ScopedPrompt> m_prompt;
};

}  // namespace sendtest
