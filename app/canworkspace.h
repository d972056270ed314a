#pragma once
// CCanWorkspace: the one object that owns the state of the running program: the configuration with both
// device objects, the data hub, the receive-thread record, the colour table, the info ring, and the
// online and replay flags, and the continuous logger and the replay engine once their layer has installed
// them. It loads the last configuration when built, remembers the one in use when destroyed, and goes
// online and offline.
//
// Everything here runs on the GUI thread except where a member says otherwise; the two flags and the
// receive-thread record may be read from any thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "app/canmsgdatahub.h"
#include "app/canmsgsender.h"
#include "app/canmsglogsink.h"
#include "app/canreplaystate.h"
#include "app/canrxthread.h"
#include "app/infomsgring.h"
#include "config/appcfg.h"
#include "config/colortable.h"

class CExtServices;  // the extension-service objects (services layer)

class CCanWorkspace {
public:
    // Source of the operator messages about going online and about the configuration at start.
    static constexpr const char* kOnlineSource = "开启监听";
    static constexpr const char* kCfgSource = "配置文件";

    // Start-up load on the current settings store: the configuration file named by
    // "sLastCfgFilePathName" is opened; when no file exists there, or the file there cannot be read as a
    // configuration, a new default one is made in the "cfg" folder of currentDir (the process's current
    // directory when empty), becomes the working file and is remembered; a refused file is never written.
    // Failures and refusals (naming both files) are reported in the info ring. "sAppFolderPath" and
    // "sAppVersion" are written.
    explicit CCanWorkspace(std::string currentDir = {});
    // Goes offline, then stores the path of the configuration in use as "sLastCfgFilePathName".
    ~CCanWorkspace();
    CCanWorkspace(const CCanWorkspace&) = delete;
    CCanWorkspace& operator=(const CCanWorkspace&) = delete;

    // Resets the hub, takes the selected device, opens device and bus, starts the receive thread; with
    // automatic logging on starts a log unless one is open. False, with the reason in the info ring, when
    // replaying, already online, no usable device is selected, or the device, bus or thread fails.
    bool GoOnline();
    // Stops the thread and closes bus and device, drains what was received, marks the hub not ready
    // (global maps emptied) and stops the logger. Harmless while offline.
    void GoOffline();

    // Pushes a message stamped with the local time into the info ring. Any thread.
    void AddInfoMsg(std::string_view source, uint8_t level, std::string_view text);
    // Moves the operator reports of the NXP device and then the CF51 device into the info ring, with
    // the sources "NXP-VYK" and "CF51-VYK" and each report's own time (the main frame's tick).
    void MoveDeviceReports();

    // The online (listening) flag: set by GoOnline, cleared by GoOffline.
    bool IsOnline() const { return m_ListenFlag.load(); }
    // Set while the replay control dialog runs; GoOnline refuses meanwhile.
    bool IsReplaying() const { return m_ReplayFlag.load(); }
    void SetReplayFlag(bool replaying) { m_ReplayFlag = replaying; }

    CCanMsgDataHub& Hub() { return m_Hub; }
    CCanRxThread& RxThread() { return m_RxThread; }
    // Sends on the current device while listening; the send window and the services send through it.
    const CCanMsgSender& Sender() const { return m_Sender; }
    CAppCfg& Cfg() { return m_Cfg; }
    CColorTable& Colors() { return m_Colors; }
    CInfoMsgRing& InfoRing() { return m_InfoRing; }

    // The continuous logger and the replay engine live as long as the workspace; the layer that implements
    // them installs each once. Installing the logger also makes it the hub's log sink.
    void InstallLogger(std::unique_ptr<ICanMsgLogSink> logger);
    ICanMsgLogSink* Logger() const { return m_Logger.get(); }
    void InstallReplay(std::unique_ptr<ICanReplayState> replay) { m_Replay = std::move(replay); }
    // Null until installed.
    ICanReplayState* Replay() const { return m_Replay.get(); }

    // The program's folder: the configuration folder "cfg" and the log folder "log" lie below it.
    const std::string& AppFolder() const { return m_AppFolder; }

    // The extension-service objects, built by the layer that defines them and handed over once (the
    // deleter stops and joins their threads). The workspace destroys them first, before the sender, the
    // receive thread and the configuration that they use.
    using ServicesPtr = std::unique_ptr<CExtServices, void (*)(CExtServices*)>;
    void InstallServices(ServicesPtr services) { m_Services = std::move(services); }
    CExtServices* Services() const { return m_Services.get(); }

    // Path of the configuration file in use (empty: none).
    const std::string& CfgPath() const { return m_CfgPath; }
    void SetCfgPath(std::string path) { m_CfgPath = std::move(path); }

private:
    void loadAtStart(const std::string& currentDir);

    std::atomic<bool> m_ListenFlag{false};
    std::atomic<bool> m_ReplayFlag{false};
    // Built before the hub and the receive thread, which use them, and destroyed after them.
    CInfoMsgRing m_InfoRing;
    CAppCfg m_Cfg;
    CCanMsgDataHub m_Hub;
    CCanRxThread m_RxThread;
    CCanMsgSender m_Sender{m_RxThread};
    CColorTable m_Colors;
    std::string m_CfgPath;
    std::string m_AppFolder;
    // Destroyed before the hub that uses them.
    std::unique_ptr<ICanMsgLogSink> m_Logger;
    std::unique_ptr<ICanReplayState> m_Replay;
    // Last, so destroyed first.
    ServicesPtr m_Services{nullptr, nullptr};
};
