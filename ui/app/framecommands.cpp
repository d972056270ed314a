#include "ui/app/framecommands.h"

#include <array>

namespace {

constexpr FrameCmdDef kSep{0, nullptr, CmdRule::NoHandler};

constexpr std::array kFileMenu{
    FrameCmdDef{ID_CFG_NEW, "新建配置(&N)\tCtrl+N", CmdRule::OfflineIdle},
    FrameCmdDef{ID_CFG_LOAD, "载入配置(&L)", CmdRule::OfflineIdle},
    kSep,
    FrameCmdDef{ID_CFG_SAVE, "保存配置(&S)", CmdRule::Always},
    FrameCmdDef{ID_CFG_SAVE_AS, "配置另存为(&A)", CmdRule::Always},
    kSep,
    FrameCmdDef{ID_APP_EXIT_CFG, "退出(&X)", CmdRule::Always},
};
constexpr std::array kStartMenu{
    FrameCmdDef{ID_START_LISTEN, "开启监听(&S)", CmdRule::OfflineIdle},
    FrameCmdDef{ID_STOP_LISTEN, "停止监听(&T)", CmdRule::OnlineIdle},
    kSep,
    FrameCmdDef{ID_START_LOG, "开始记录(&L)", CmdRule::NotLogging},
    FrameCmdDef{ID_STOP_LOG, "停止记录(&P)", CmdRule::Logging},
    kSep,
    FrameCmdDef{ID_REPLAY, "回放记录(&R)", CmdRule::OfflineIdle},
};
constexpr std::array kCfgMenu{
    FrameCmdDef{ID_CFG_DEVICE, "通信设备(&C)", CmdRule::Always},
    FrameCmdDef{ID_CFG_CANDB, "CAN数据库(&D)", CmdRule::Always},
    FrameCmdDef{ID_CFG_LOG, "记录设置(&L)", CmdRule::Always},
};
constexpr std::array kWndMenu{
    FrameCmdDef{ID_WND_TRACE, "追踪(&T)", CmdRule::Always},
    FrameCmdDef{ID_WND_GRAPH, "图形(&G)", CmdRule::Always},
    FrameCmdDef{ID_WND_SEND, "发送(&S)", CmdRule::Always},
    FrameCmdDef{ID_WND_INFO, "信息(&I)", CmdRule::Always},
};
constexpr std::array kExtMenu{
    FrameCmdDef{ID_EXT_QUEUE_TX, "CAN报文队列发送(&Q)", CmdRule::NoService},
    FrameCmdDef{ID_EXT_GATEWAY, "网关仿真(&G)", CmdRule::NoHandler},
    FrameCmdDef{ID_EXT_NODE_SIM, "网络结点仿真(&N)", CmdRule::NoHandler},
    FrameCmdDef{ID_EXT_UDS, "诊断-UDS-KWP2K(&D)", CmdRule::NoHandler},
    FrameCmdDef{ID_EXT_J1939_DMX, "SAE-J1939 DMx(&S)", CmdRule::NoService},
    FrameCmdDef{ID_EXT_J1939_MULTI, "SAE-J1939 多包(&M)", CmdRule::NoHandler},
    FrameCmdDef{ID_EXT_VEH_SIM, "车辆环境仿真", CmdRule::NoService},
};
constexpr std::array kToolMenu{
    FrameCmdDef{ID_TK_LOG_CVT, "CAN报文记录文件格式转换(&C)", CmdRule::OfflineIdle},
    FrameCmdDef{ID_TK_LOG_CVT_OTHER, "其他CAN报文记录文件格式转换(&O)", CmdRule::OfflineIdle},
    FrameCmdDef{ID_TK_LOG_TO_MDF, "CAN报文记录文件导出信号MDF(&E)", CmdRule::OfflineIdle},
    FrameCmdDef{ID_TK_MDF_TO_CSV, "信号MDF文件导出CSV(&S)", CmdRule::Always},
    FrameCmdDef{ID_TK_LOG_FILTER, "CAN报文记录文件过滤(&F)", CmdRule::NoHandler},
};
constexpr std::array kViewMenu{
    FrameCmdDef{ID_VIEW_TOOLBAR, "工具栏(&T)", CmdRule::Always},
    FrameCmdDef{ID_VIEW_STATUS_BAR, "状态栏(&S)", CmdRule::Always},
};
constexpr std::array kHelpMenu{
    FrameCmdDef{ID_APP_ABOUT, "关于 Vexarium(&A)...", CmdRule::Always},
};

constexpr std::array kMenus{
    FrameMenuDef{"文件(&F)", kFileMenu}, FrameMenuDef{"开始(&S)", kStartMenu},
    FrameMenuDef{"配置(&C)", kCfgMenu},  FrameMenuDef{"窗口(&W)", kWndMenu},
    FrameMenuDef{"扩展(&E)", kExtMenu},  FrameMenuDef{"工具(&T)", kToolMenu},
    FrameMenuDef{"视图(&V)", kViewMenu}, FrameMenuDef{"帮助(&H)", kHelpMenu},
};

}  // namespace

std::span<const FrameMenuDef> FrameMenus() {
    return kMenus;
}

const FrameCmdDef* FindFrameCmd(uint32_t id) {
    for (const FrameMenuDef& menu : kMenus)
        for (const FrameCmdDef& cmd : menu.items)
            if (cmd.id == id && id != 0) return &cmd;
    return nullptr;
}

bool FrameCmdEnabled(const FrameCmdDef& cmd, const FrameFlags& f, bool handled) {
    if (!handled) return false;
    switch (cmd.rule) {
        case CmdRule::Always:
            return true;
        case CmdRule::OfflineIdle:
            return !f.online && !f.replaying;
        case CmdRule::OnlineIdle:
            return f.online && !f.replaying;
        case CmdRule::NotLogging:
            return !f.logging;
        case CmdRule::Logging:
            return f.logging;
        case CmdRule::NoService:
            return !f.serviceActive;
        case CmdRule::NoHandler:
            return false;
    }
    return false;
}
