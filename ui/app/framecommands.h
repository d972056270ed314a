#pragma once
// The main frame's menu commands: their ids, menus and texts, and when each one is enabled. Enabling is a
// pure function of the program's state, so it is decided the same way for the menu, the tool bar and the
// keyboard.
#include <cstdint>
#include <span>

enum FrameCmd : uint32_t {
    // 文件
    ID_CFG_NEW = 32871,
    ID_CFG_LOAD = 32872,
    ID_CFG_SAVE = 32873,
    ID_CFG_SAVE_AS = 32874,
    ID_APP_EXIT_CFG = 32875,
    // 开始
    ID_START_LISTEN = 32887,
    ID_STOP_LISTEN = 32886,
    ID_START_LOG = 32911,
    ID_STOP_LOG = 32912,
    ID_REPLAY = 32913,
    // 配置
    ID_CFG_DEVICE = 32790,
    ID_CFG_CANDB = 32791,
    ID_CFG_LOG = 32905,
    // 窗口
    ID_WND_TRACE = 32787,
    ID_WND_GRAPH = 32788,
    ID_WND_SEND = 32789,
    ID_WND_INFO = 32904,
    // 扩展
    ID_EXT_QUEUE_TX = 32932,
    ID_EXT_GATEWAY = 32931,
    ID_EXT_NODE_SIM = 32923,
    ID_EXT_UDS = 32926,
    ID_EXT_J1939_DMX = 32927,
    ID_EXT_J1939_MULTI = 32930,
    ID_EXT_VEH_SIM = 32955,
    // 工具
    ID_TK_LOG_CVT = 32915,
    ID_TK_LOG_CVT_OTHER = 32966,
    ID_TK_LOG_TO_MDF = 32917,
    ID_TK_MDF_TO_CSV = 32956,
    ID_TK_LOG_FILTER = 32948,
    // 视图, 帮助
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_APP_ABOUT = 57664,
};

// When a command may run.
enum class CmdRule {
    Always,
    OfflineIdle,  // not online and no replay running
    OnlineIdle,   // online and no replay running
    NotLogging,   // the logger holds no open file
    Logging,      // the logger holds an open file
    NoService,    // no extension-service dialog is open
    NoHandler,    // nothing runs it: always disabled
};

struct FrameFlags {
    bool online = false;
    bool replaying = false;
    bool serviceActive = false;
    bool logging = false;
};

struct FrameCmdDef {
    uint32_t id;
    const char* text;  // menu text, UTF-8, with its mnemonic
    CmdRule rule;
};

struct FrameMenuDef {
    const char* title;
    std::span<const FrameCmdDef> items;  // id 0: a separator
};

// The menu bar, in order.
std::span<const FrameMenuDef> FrameMenus();
// The command of an id, or null.
const FrameCmdDef* FindFrameCmd(uint32_t id);

// Whether a command is enabled in a state. `handled` says whether this build wires the command to
// something that runs it (a window, dialog or tool that exists); an unhandled command is never enabled.
bool FrameCmdEnabled(const FrameCmdDef& cmd, const FrameFlags& flags, bool handled);
