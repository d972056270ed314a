// When each menu command is enabled.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ui/app/framecommands.h"

namespace {

// The states the program can be in, and the expected enabling of every menu command in each.
enum State { kIdle, kOnline, kReplay, kService, kLogging, kStates };
const FrameFlags kFlags[kStates] = {
    {false, false, false, false},  // offline, no replay, no service, no log file
    {true, false, false, false},   // online
    {false, true, false, false},   // a replay runs
    {false, false, true, false},   // a service dialog is open
    {false, false, false, true},   // the logger writes
};

using Row = std::array<bool, kStates>;
constexpr Row kAll{true, true, true, true, true};
constexpr Row kNone{false, false, false, false, false};
constexpr Row kOfflineIdle{true, false, false, true, true};
const std::map<uint32_t, Row> kExpected = {
    {ID_WND_TRACE, kAll},
    {ID_WND_GRAPH, kAll},
    {ID_WND_SEND, kAll},
    {ID_WND_INFO, kAll},
    {ID_CFG_NEW, kOfflineIdle},
    {ID_CFG_LOAD, kOfflineIdle},
    {ID_CFG_SAVE, kAll},
    {ID_CFG_SAVE_AS, kAll},
    {ID_APP_EXIT_CFG, kAll},
    {ID_START_LISTEN, kOfflineIdle},
    {ID_STOP_LISTEN, Row{false, true, false, false, false}},
    {ID_START_LOG, Row{true, true, true, true, false}},
    {ID_STOP_LOG, Row{false, false, false, false, true}},
    {ID_REPLAY, kOfflineIdle},
    {ID_CFG_DEVICE, kAll},
    {ID_CFG_CANDB, kAll},
    {ID_CFG_LOG, kAll},
    {ID_TK_LOG_CVT, kOfflineIdle},
    {ID_TK_LOG_CVT_OTHER, kOfflineIdle},
    {ID_TK_LOG_TO_MDF, kOfflineIdle},
    {ID_TK_MDF_TO_CSV, kAll},
    {ID_EXT_QUEUE_TX, Row{true, true, true, false, true}},
    {ID_EXT_VEH_SIM, Row{true, true, true, false, true}},
    {ID_EXT_J1939_DMX, Row{true, true, true, false, true}},
    {ID_EXT_GATEWAY, kNone},
    {ID_EXT_NODE_SIM, kNone},
    {ID_EXT_UDS, kNone},
    {ID_EXT_J1939_MULTI, kNone},
    {ID_TK_LOG_FILTER, kNone},
    {ID_VIEW_TOOLBAR, kAll},
    {ID_VIEW_STATUS_BAR, kAll},
    {ID_APP_ABOUT, kAll},
};

// Every menu item has its row, once; a command nothing runs is never enabled.
TEST(FrameCommands, EnablingForEveryCommand) {
    std::set<uint32_t> seen;
    for (const FrameMenuDef& menu : FrameMenus()) {
        for (const FrameCmdDef& cmd : menu.items) {
            if (cmd.id == 0) continue;
            EXPECT_TRUE(seen.insert(cmd.id).second) << cmd.id;
            ASSERT_EQ(FindFrameCmd(cmd.id), &cmd);
            const auto it = kExpected.find(cmd.id);
            ASSERT_NE(it, kExpected.end()) << cmd.id;
            for (int s = 0; s < kStates; ++s) {
                EXPECT_EQ(FrameCmdEnabled(cmd, kFlags[s], true), it->second[s]) << cmd.id << " state " << s;
                EXPECT_FALSE(FrameCmdEnabled(cmd, kFlags[s], false)) << cmd.id;
            }
        }
    }
    EXPECT_EQ(seen.size(), kExpected.size());
    EXPECT_EQ(FindFrameCmd(0), nullptr);
    EXPECT_EQ(FindFrameCmd(57600), nullptr);
}

}  // namespace
