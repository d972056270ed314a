#include "ui/app/vexariumapp.h"

#include "app/canworkspace.h"
#include "ui/app/aboutdlg.h"
#include "ui/app/framechildren.h"
#include "ui/app/updatedlg.h"
#include "app/updatecheck.h"
#include "platform/util/utils.h"
#include "platform/clock.h"
#include "platform/qt/namedmutex.h"
#include "platform/qt/prompt.h"
#include "platform/qt/settingsstore.h"
#include "services/extservices.h"

std::string UpdateServerSetting() {
    std::string server{kUpdateServerDefault};
    vex::SettingsStore& store = vex::CurrentSettingsStore();
    if (store.open()) {
        const auto value = store.read(kUpdateServerValue);
        if (value && value->kind == vex::SettingsStore::Kind::String && !value->text.empty())
            server = value->text;
        store.close();
    }
    return server;
}

CVexariumApp::CVexariumApp() : CVexariumApp(Options{}) {}

CVexariumApp::CVexariumApp(Options options) : m_options(std::move(options)) {
    // A second copy is refused before it touches the configuration or the settings.
    m_instance = std::make_unique<vex::NamedMutex>(
        kAppMutexName, m_options.lockDir.empty() ? vex::LockFileDir() : m_options.lockDir);
    if (m_instance->state() == vex::NamedMutex::State::AlreadyExists) return;
    m_ws = std::make_unique<CCanWorkspace>(m_options.currentDir);
    // The extension services live in the workspace; the J1939 service waits between BAM packets with the
    // application's busy wait.
    CExtServices::Install(*m_ws).J1939().SetWaitMs(&CVexariumApp::WaitMs);
    const vex::Clock& clock = vex::SystemClock();
    m_frequency = clock.Frequency();
    m_startCount = clock.Ticks();
}

CVexariumApp::~CVexariumApp() {
    m_updates.reset();
    m_frame.reset();
    m_ws.reset();
    // The program-wide J1939 DMx table is emptied on the way out, after the service that filled it is gone.
    EmptyJ1939DmxTable();
}

bool CVexariumApp::InitInstance() {
    if (!m_ws) {
        vex::ShowMessage(nullptr, QStringLiteral("Vexarium的一个副本已经存在。"));
        return false;
    }
    m_frame = std::make_unique<CMainFrame>(*m_ws, m_options.frame);
    InstallFrameChildren(*m_frame);
    QObject::connect(m_frame.get(), &CMainFrame::aboutRequested, m_frame.get(), [this] { OnAppAbout(); });
    m_updates = std::make_unique<CUpdateCheckRunner>(
        m_frame.get(), m_options.updateServer.empty() ? UpdateServerSetting() : m_options.updateServer,
        GetProductVersion());
    if (m_options.autoUpdateCheck) m_updates->Start(true);
    m_frame->show();
    return true;
}

void CVexariumApp::OnAppAbout() {
    CAboutDlg dlg([this](QWidget* box) { m_updates->Start(false, box); }, m_frame.get());
    dlg.exec();
}

void CVexariumApp::WaitMs(uint32_t ms) {
    PreciseWaitMs(ms);
}
