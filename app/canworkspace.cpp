#include "app/canworkspace.h"

#include <unistd.h>

#include <filesystem>
#include <utility>

#include "config/regconfig.h"
#include "platform/util/utils.h"

namespace {

std::string processCurrentDir() {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

}  // namespace

CCanWorkspace::CCanWorkspace(std::string currentDir) : m_Hub(m_Cfg, m_InfoRing) {
    loadAtStart(currentDir.empty() ? processCurrentDir() : currentDir);
}

void CCanWorkspace::loadAtStart(const std::string& currentDir) {
    CAppRegConfig reg;  // writes the values back when it goes out of scope
    m_CfgPath = reg.sLastCfgFilePathName;
    if (m_CfgPath.empty() || ::access(m_CfgPath.c_str(), F_OK) != 0) {
        std::string path, error;
        if (m_Cfg.CreateDefaultConfig(path, error, currentDir)) {
            m_CfgPath = path;
            reg.sLastCfgFilePathName = path;
        } else {
            AddInfoMsg(kCfgSource, 2, "创建默认配置文件失败：" + error);
        }
    }
    reg.sAppFolderPath = currentDir;
    reg.sAppVersion = GetProductVersion();
    std::string message;
    if (!m_Cfg.OpenConfig(m_CfgPath, message)) {
        AddInfoMsg(kCfgSource, 2, "打开配置文件失败：" + message);
    } else if (!message.empty()) {
        AddInfoMsg(kCfgSource, 1, message);
    }
}

CCanWorkspace::~CCanWorkspace() {
    // No thread may outlive the devices and the hub it uses: the services' threads end first, then the
    // receive thread.
    m_Services.reset();
    GoOffline();
    CAppRegConfig reg;
    reg.sLastCfgFilePathName = m_CfgPath;
}

bool CCanWorkspace::GoOnline() {
    if (m_ReplayFlag) {
        AddInfoMsg(kOnlineSource, 1, "正在回放记录，不能开启监听。");
        return false;
    }
    if (m_ListenFlag) {
        AddInfoMsg(kOnlineSource, 1, "总线监听已经开启。");
        return false;
    }
    m_Hub.Reset();
    m_RxThread.SetHub(&m_Hub);
    CCanDevice* device = m_Cfg.GetSelectedDevice();
    if (device == nullptr) {
        const tCFG_CAN_DEV& wifi = m_Cfg.CanDev[CAppCfg::kDevWiFi];
        if (wifi.Active != 0) {
            AddInfoMsg(kOnlineSource, 2, "所选设备“" + wifi.Name + "”没有可用的驱动程序，不能开启监听。");
        } else {
            AddInfoMsg(kOnlineSource, 2, "没有选择CAN设备，请先在设备配置中选择要使用的设备。");
        }
        return false;
    }
    switch (m_RxThread.Start(device)) {
        case CCanRxThread::StartResult::Ok:
            break;
        case CCanRxThread::StartResult::DeviceOpenFailed:
            AddInfoMsg(kOnlineSource, 2, "开启设备失败，不能开启监听。");
            return false;
        case CCanRxThread::StartResult::BusOpenFailed:
            AddInfoMsg(kOnlineSource, 2, "开启CAN总线失败，不能开启监听。");
            return false;
        case CCanRxThread::StartResult::ThreadFailed:
            AddInfoMsg(kOnlineSource, 2, "接收线程启动失败，不能开启监听。");
            return false;
        case CCanRxThread::StartResult::Refused:
            AddInfoMsg(kOnlineSource, 2, "接收线程仍在运行，不能开启监听。");
            return false;
    }
    m_ListenFlag = true;
    // A log that is already open goes on; no second one is started.
    if (m_Cfg.Log.AutoLogFlag != 0 && !m_Hub.IsLogging() && !m_Hub.StartLogging(m_Cfg.Log.LogFileNameId)) {
        AddInfoMsg(kOnlineSource, 1, "自动开始记录失败，本次监听的报文没有记录。");
    }
    return true;
}

void CCanWorkspace::GoOffline() {
    m_ListenFlag = false;
    m_RxThread.Stop();
    m_RxThread.SetHub(nullptr);
    // What was received before the thread ended still reaches the trace and the log.
    m_Hub.ProcessRxQueue();
    m_Hub.SetNotReady();
    m_Hub.StopLogging();
}

void CCanWorkspace::AddInfoMsg(std::string_view source, uint8_t level, std::string_view text) {
    PushInfoMsgNow(m_InfoRing, source, level, text);
}

void CCanWorkspace::MoveDeviceReports() {
    const std::pair<CCanDevice*, const char*> devices[] = {{&m_Cfg.NxpDevice(), "NXP-VYK"},
                                                           {&m_Cfg.Cf51Device(), "CF51-VYK"}};
    tCAN_DEV_REPORT report;
    for (const auto& [device, source] : devices) {
        while (PopDevReport(device->m_ReportRing, report)) {
            PushDevReport(m_InfoRing, source, report.Severity, report.Hour, report.Minute, report.Second,
                          report.Text, sizeof report.Text);
        }
    }
}
