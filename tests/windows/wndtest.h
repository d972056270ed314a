#pragma once
// Helpers of the send and trace window suites: a workspace on the emulated bus with scripted message
// boxes, and small transmit records.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "platform/qt/fakeprompt.h"
#include "tests/app/hubtest.h"
#include "tests/app/workspacetest.h"

namespace wndtest {

using hubtest::Sig;

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

// A fresh workspace with message boxes answered by a fake.
class WindowTest : public wstest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Make();
        m_prompt.emplace(prompt);
    }
    void TearDown() override {
        ws->GoOffline();
        m_prompt.reset();
        WorkspaceTest::TearDown();
    }
    // Goes online on the one interface chosen (both channels at 500 kbit/s) and records what it sends.
    void GoOnline(size_t device = CAppCfg::kDevNxp) {
        Select(device, 500);
        ASSERT_TRUE(ws->GoOnline());
        vex::emu::peer::SetRecording(true);
    }
    std::vector<QString> Messages() const {
        std::vector<QString> out;
        for (const auto& m : prompt.messages) out.push_back(m.text);
        return out;
    }

    vex::FakePrompt prompt;

private:
    std::optional<vex::ScopedPrompt> m_prompt;
};

}  // namespace wndtest
