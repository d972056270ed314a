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
    m_AppFolder = currentDir.empty() ? processCurrentDir() : currentDir;
    loadAtStart(m_AppFolder);
}

void CCanWorkspace::loadAtStart(const std::string& currentDir) {
    CAppRegConfig reg;  // writes the values back when it goes out of scope
    reg.sAppFolderPath = currentDir;
    reg.sAppVersion = GetProductVersion();
    const std::string last = reg.sLastCfgFilePathName;
    std::string message;
    if (!last.empty() && ::access(last.c_str(), F_OK) == 0) {
        if (m_Cfg.OpenConfig(last, message)) {
            m_CfgPath = last;
            if (!message.empty()) AddInfoMsg(kCfgSource, 1, message);
            return;
        }
        // A file that was not read never becomes the working file: a later save would write the
        // defaults over it. A new file takes its place and the user is told which is which.
    }
    std::string path, error;
    const bool made = m_Cfg.CreateDefaultConfig(path, error, currentDir);
    if (made) {
        m_CfgPath = path;
        reg.sLastCfgFilePathName = path;
    } else {
        m_CfgPath.clear();
    }
    if (!message.empty()) {
        AddInfoMsg(kCfgSource, 2,
                   "配置文件 " + last + " 没有读取，" +
                       (made ? "改用新建的配置文件 " + path : std::string("当前没有使用配置文件")) + "。" +
                       message);
    }
    if (!made) {
        AddInfoMsg(kCfgSource, 2, "创建默认配置文件失败：" + error);
        return;
    }
    if (!m_Cfg.OpenConfig(m_CfgPath, message)) AddInfoMsg(kCfgSource, 2, "打开配置文件失败：" + message);
}

CCanWorkspace::~CCanWorkspace() {
    // No thread may outlive the devices and the hub it uses: the services' threads end first, then the
    // receive thread.
    m_Services.reset();
    GoOffline();
    m_Hub.SetLogSink(nullptr);
    CAppRegConfig reg;
    reg.sLastCfgFilePathName = m_CfgPath;
}

void CCanWorkspace::InstallLogger(std::unique_ptr<ICanMsgLogSink> logger) {
    if (m_Logger) m_Logger->Stop();
    m_Logger = std::move(logger);
    m_Hub.SetLogSink(m_Logger.get());
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
        const std::string why = m_Hub.LogSink() != nullptr ? m_Hub.LogSink()->LastError() : std::string();
        AddInfoMsg(kOnlineSource, 1,
                   "自动开始记录失败，本次监听的报文没有记录。" + (why.empty() ? std::string() : why));
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
