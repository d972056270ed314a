#pragma once
// CVexariumApp: the application object. It makes sure only one copy of the program runs, owns the
// workspace (which loads the last configuration) and the program's time base, creates the main frame,
// starts the automatic update check and shows the About box.
//
// Destruction order: update checks (joined), main frame (service windows closed, offline, nothing
// running), workspace (services joined first), then the J1939 DMx table emptied.
#include <cstdint>
#include <memory>
#include <string>

#include "ui/app/mainframe.h"

class CCanWorkspace;
class CUpdateCheckRunner;
namespace vex {
class NamedMutex;
}

// The single-instance mutex.
inline constexpr const char* kAppMutexName = "VYK_VEXARIUM_MUTEX";
// The settings value that names the update server (scheme, host, port); absent or empty: the default.
inline constexpr const char* kUpdateServerValue = "sUpdateServer";

// The update server from the settings store, or kUpdateServerDefault.
std::string UpdateServerSetting();

class CVexariumApp {
public:
    struct Options {
        std::string lockDir;       // folder of the lock files; empty: vex::LockFileDir()
        std::string currentDir;    // where a new default configuration goes; empty: the current folder
        std::string updateServer;  // empty: UpdateServerSetting()
        bool autoUpdateCheck = true;
        CMainFrame::Options frame;
    };

    // Takes the single-instance mutex; when no other copy holds it, builds the workspace and samples the
    // time base.
    CVexariumApp();
    explicit CVexariumApp(Options options);
    ~CVexariumApp();
    CVexariumApp(const CVexariumApp&) = delete;
    CVexariumApp& operator=(const CVexariumApp&) = delete;

    // False, after "Vexarium的一个副本已经存在。", when another copy runs. Otherwise creates and shows the
    // main frame and starts the automatic update check on a worker.
    bool InitInstance();

    // The About box, modal.
    void OnAppAbout();

    // Null while another copy runs.
    CCanWorkspace* Workspace() const { return m_ws.get(); }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    CUpdateCheckRunner* Updates() const { return m_updates.get(); }

    // The time base: counter frequency (ticks per second) and the counter at construction.
    int64_t Frequency() const { return m_frequency; }
    int64_t StartCount() const { return m_startCount; }
    // Busy-waits (never sleeps) for ms milliseconds, at most 10000. Any thread.
    static void WaitMs(uint32_t ms);

private:
    Options m_options;
    std::unique_ptr<vex::NamedMutex> m_instance;
    std::unique_ptr<CCanWorkspace> m_ws;
    int64_t m_frequency = 0;
    int64_t m_startCount = 0;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CUpdateCheckRunner> m_updates;
};
