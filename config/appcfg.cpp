#include "config/appcfg.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "platform/util/filewrite.h"
#include "platform/util/utils.h"
#include "config/cfgdoc.h"
#include "config/cfgsections.h"
#include "config/regconfig.h"
#include "platform/xml/xmldoc.h"

namespace {

constexpr char kRoot[] = "VEXAR_CFG_FILE";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n";
constexpr const char* kDevSuffix[3] = {"NXP", "CF51", "WiFi"};
constexpr const char* kDevName[3] = {"NXP Vyk Device", "CF51 Vyk Device", "WiFi Vyk Device"};

bool pathTaken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::string currentDirectory() {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::current_path(ec);
    return ec ? std::string(".") : dir.string();
}

tCFG_CAN_DEV defaultDev(size_t index, uint32_t kind, uint8_t active) {
    tCFG_CAN_DEV dev;
    dev.Name = kDevName[index];
    dev.Kind = kind;
    dev.Active = active;
    dev.CHAN0 = dev.CHAN1 = tCFG_CAN_DEV_CHAN_PARAM{250, 0, 1};
    return dev;
}

tWND_PLACEMENT defaultPlacement(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return tWND_PLACEMENT{44, 0, 1, -1, -1, -1, -1, left, top, right, bottom};
}

void setDefaultChild(tWND_CHILD_LAYOUT& child, uint32_t order, const tWND_PLACEMENT& placement) {
    child.Order = order;
    child.Show = 0;
    child.Placement = placement;
}

// Every splitter value but R1Min, which the defaults leave as it is.
void setDefaultSplitter(tWND_SPLITTER& s, int32_t c0, int32_t c1, int32_t r0, int32_t r1) {
    s = tWND_SPLITTER{0, c0, 0, c1, 0, r0, 0, r1, s.R1Min};
}

// A send entry as the load report names it.
std::string sendEntryName(const tCFG_SET_SEND_MSG& msg) {
    return "“" + msg.MsgName + "”";
}

void copyBusConfig(const tCFG_CAN_DEV& dev, CCanDevice& device) {
    device.m_ChanCfg[0] = tCAN_DEV_CHAN_CFG{dev.CHAN0.Baudrate, dev.CHAN0.Btr0, dev.CHAN0.Btr1};
    device.m_ChanCfg[1] = tCAN_DEV_CHAN_CFG{dev.CHAN1.Baudrate, dev.CHAN1.Btr0, dev.CHAN1.Btr1};
}

}  // namespace

CAppCfg::CAppCfg() {
    SetDefaults();
}

CAppCfg::~CAppCfg() = default;

void CAppCfg::SetDefaults() {
    CanDev[kDevNxp] = defaultDev(kDevNxp, m_NxpDevice.m_ChanCount, 1);
    CanDev[kDevCf51] = defaultDev(kDevCf51, 1, 0);
    CanDev[kDevWiFi] = defaultDev(kDevWiFi, 1, 0);
    CanDatabases.clear();

    WndLayout.ScreenWidth = WndLayout.ScreenHigh = 0;
    WndLayout.MainFrame = defaultPlacement(157, 87, 1332, 802);
    setDefaultChild(WndLayout.Trace, 1, defaultPlacement(75, 75, 1092, 578));
    setDefaultChild(WndLayout.Graph, 6, defaultPlacement(50, 50, 1067, 553));
    setDefaultSplitter(WndLayout.Graph.Splitter, 187, 741, 342, 342);
    setDefaultChild(WndLayout.Send, 12, defaultPlacement(25, 25, 1024, 528));
    setDefaultSplitter(WndLayout.Send.Splitter, 997, 997, 92, 337);
    setDefaultChild(WndLayout.Info, 19, defaultPlacement(0, 0, 1017, 503));

    Replay = tCFG_SET_REPLAY{0, 0.0, 1000.0, 0, 2000};

    Log.AutoLogFlag = 1;
    Log.LogFileNameId = "LogData";
    CCanMsgFilter::Assign(Log.Filter, CCanMsgFilter());

    Trace.TraceDetail = Trace.DeltaTime = Trace.NumHex = Trace.OnLine = Trace.Fellow = 1;
    CCanMsgFilter::Assign(Trace.Filter, CCanMsgFilter());

    Send.SigRawValShowHex = 1;
    Send.MsgMap.clear();

    Graph = tCFG_SET_GRAPH{};
    Graph.GraphGridShow = 1;
    Graph.BackgroundColor = 0xFFFFFF;
    Graph.GridColor = 0x005000;
    Graph.XAxisTimeLength = 20000;

    QueueTx.SigRawValShowHex = 1;
    QueueTx.MsgMap.clear();

    J1939 = tCFG_SET_EXT_J1939DMX_SERVICE{};
    J1939.PgnP = 6;
}

// ---- The file ----

void CAppCfg::writeSections(CXmlDoc& doc) const {
    SaveWndMainFrame(doc, WndLayout);
    for (size_t i = 0; i < 3; ++i) SaveCfgCanDev(doc, CanDev[i], kDevSuffix[i]);
    SaveCfgSetReplay(doc, Replay);
    SaveCfgSetTrace(doc, Trace);
    SaveCfgSetSend(doc, Send);
    SaveCfgSetGraph(doc, Graph);
    SaveCfgSetLog(doc, Log);
    SaveCfgSetExtQueueTxService(doc, QueueTx);
    SaveXmlJ1939DmxService(doc, J1939);
    SaveXmlCfgCanDatabaseList(doc, CanDatabases);
}

// Reads in the writer's order; each reader searches on after the element found last. Counts what was read
// per element name so that the root's other children can be named.
CfgLoadStatus CAppCfg::readSections(CXmlDoc& doc, const std::string& path, std::string& message) {
    // The root's children, named in document order, before the readers move the child position.
    std::vector<std::string> children;
    while (doc.SeekChildElem()) children.push_back(doc.GetChildName());
    doc.Parse();  // clears the positions; same text, same document
    doc.FindNextElem(kRoot);

    std::map<std::string, int, std::less<>> read;
    auto count = [&read](const std::string& name, bool found) {
        if (found) ++read[name];
    };
    count("WND_MAIN_FRAME", LoadWndMainFrame(doc, WndLayout));
    for (size_t i = 0; i < 3; ++i) {
        const std::string name = std::string("CFG_CAN_DEV_") + kDevSuffix[i];
        // Each element is read into a scratch copy, so the last element of a name alone decides the record.
        // The scratch starts from the record as it stood before the file, not zeroed: a zeroed channel
        // would select custom bus timing 0/0, a bit rate no bus runs at, for a channel the file omits.
        const tCFG_CAN_DEV before = CanDev[i];
        for (tCFG_CAN_DEV scratch = before; LoadCfgCanDev(doc, scratch, kDevSuffix[i]); scratch = before) {
            CanDev[i] = scratch;
            count(name, true);
        }
        CanDev[i].Name = kDevName[i];
    }
    CanDev[kDevNxp].Kind = m_NxpDevice.m_ChanCount;
    CanDev[kDevCf51].Kind = 1;
    CanDev[kDevWiFi].Kind = 2;
    count("CFG_SET_REPLAY", LoadCfgSetReplay(doc, Replay));
    count("CFG_SET_TRACE", LoadCfgSetTrace(doc, Trace));
    std::vector<tCFG_SET_SEND_MSG> replaced;
    const bool sendRead = LoadCfgSetSend(doc, Send, &replaced);
    count("CFG_SET_SEND", sendRead);
    count("CFG_SET_GRAPH", LoadCfgSetGraph(doc, Graph));
    count("CFG_SET_LOG", LoadCfgSetLog(doc, Log));
    const bool queueRead = LoadCfgSetExtQueueTxService(doc, QueueTx);
    count("CFG_SET_EXT_QUEUE_TX_SERVICE", queueRead);
    count("CFG_SET_EXT_J1939DMX_SERVICE", LoadXmlJ1939DmxService(doc, J1939));
    CanDatabases = LoadXmlCfgCanDatabaseList(doc);
    read["CFG_CAN_DATABASE"] += static_cast<int>(CanDatabases.size());

    std::string skipped;
    std::vector<std::string> named;
    for (const std::string& name : children) {
        auto it = read.find(name);
        if (it != read.end() && it->second > 0) {
            --it->second;
        } else if (std::find(named.begin(), named.end(), name) == named.end()) {
            skipped += (named.empty() ? "" : " ") + name;
            named.push_back(name);
        }
    }
    std::string displaced;
    for (const tCFG_SET_SEND_MSG& msg : replaced)
        displaced += (displaced.empty() ? "" : "；") + sendEntryName(msg);
    std::string unsendable;
    if (sendRead) {
        for (const auto& entry : Send.MsgMap) {
            const std::string fault = SendMsgFault(entry.second);
            if (fault.empty()) continue;
            unsendable += (unsendable.empty() ? "" : "；") + sendEntryName(entry.second) + "：" + fault;
        }
    }
    auto report = [&message, &path](const std::string& what, const std::string& list) {
        if (list.empty()) return;
        if (!message.empty()) message += "。";
        message += "配置文件 " + path + " 中以下" + what + list;
    };
    report("元素的位置不对或无法识别，没有读取：", skipped);
    report("发送报文与后面的报文占用同一位置，没有读取：", displaced);
    report("发送报文不能发送，保存时按原样保留：", unsendable);
    const std::string queueUnsendable = queueRead ? QueueTxFaultList(QueueTx) : std::string();
    report("队列报文不能发送，保存时按原样保留：", queueUnsendable);
    if (!skipped.empty() || !displaced.empty()) return CfgLoadStatus::SectionsSkipped;
    return unsendable.empty() && queueUnsendable.empty() ? CfgLoadStatus::Ok : CfgLoadStatus::UnsendableKept;
}

CfgLoadStatus CAppCfg::readFile(const std::string& path, CXmlDoc& doc, std::string& text,
                                std::string& message) {
    std::string detail;
    switch (cfgdoc::loadDoc(path, doc, text, detail)) {
        case cfgdoc::DocLoad::Missing:
            message = cfgdoc::readFailed(path, detail);
            return CfgLoadStatus::Missing;
        case cfgdoc::DocLoad::Unreadable:
            message = cfgdoc::readFailed(path, detail);
            return CfgLoadStatus::Unreadable;
        case cfgdoc::DocLoad::IllFormed:
            message = cfgdoc::illFormed(path, detail);
            return CfgLoadStatus::IllFormed;
        case cfgdoc::DocLoad::NoElement:
            break;
        case cfgdoc::DocLoad::Ok:
            if (doc.FindNextElem(kRoot)) return CfgLoadStatus::Ok;
            break;
    }
    message = "文件 " + path + " 不是配置文件。";
    return CfgLoadStatus::NotConfig;
}

CfgLoadStatus CAppCfg::LoadConfigFile(const std::string& path, std::string& text, std::string& message) {
    message.clear();
    CXmlDoc doc;
    const CfgLoadStatus status = readFile(path, doc, text, message);
    if (status != CfgLoadStatus::Ok) return status;
    return readSections(doc, path, message);
}

bool CAppCfg::SaveConfigFile(const std::string& path, std::string& text, std::string& error) const {
    CXmlDoc doc;
    doc.NewElem(kRoot, 0);
    writeSections(doc);
    if (path.empty()) {
        text = kDeclaration + doc.GetText();
        return true;
    }
    if (!doc.SaveWithDeclaration(path)) {
        error = "无法写入配置文件 " + path + "：" + doc.GetResult();
        return false;
    }
    text = doc.GetText();
    return true;
}

std::string CAppCfg::MakeNewCfgFilePath(const std::string& currentDir) {
    return MakeNewCfgFilePath(currentDir, vex::NowLocal());
}

std::string CAppCfg::MakeNewCfgFilePath(const std::string& currentDir, const vex::LocalTime& now) {
    const std::string dir = currentDir.empty() ? currentDirectory() : currentDir;
    std::string folder = dir + "/cfg";
    if (!DirExists(folder) && !CreateDir(folder)) folder = dir;
    const std::string plain = folder + "/default.xml";
    if (!pathTaken(plain)) return plain;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "/default_%04d%02d%02d%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    std::string candidate = folder + stamp + ".xml";
    for (int n = 2; pathTaken(candidate); ++n) candidate = folder + stamp + "_" + std::to_string(n) + ".xml";
    return candidate;
}

bool CAppCfg::CreateDefaultConfig(std::string& path, std::string& error, const std::string& currentDir) {
    SetDefaults();
    m_FileState = -1;
    // The name is claimed with an exclusive create before the file is written, so a file that appeared
    // since the name was chosen is never replaced.
    std::string candidate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        candidate = MakeNewCfgFilePath(currentDir);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = "无法创建配置文件 " + candidate + "：" + ErrorText(errno);
            return false;
        }
        ::close(fd);
        std::string text;
        if (!SaveConfigFile(candidate, text, error)) {
            ::unlink(candidate.c_str());
            return false;
        }
        m_FileText = std::move(text);
        path = candidate;
        return true;
    }
    error = "无法创建配置文件 " + candidate + "：" + ErrorText(EEXIST);
    return false;
}

CfgLoadStatus CAppCfg::open(const std::string& path, std::string& message) {
    CXmlDoc doc;
    std::string text;
    const CfgLoadStatus status = readFile(path, doc, text, message);
    if (status != CfgLoadStatus::Ok) return status;
    SetDefaults();
    const CfgLoadStatus read = readSections(doc, path, message);
    takeWindowOrders();
    m_FileState = 1;
    // The text this program makes of what it read, not the file's bytes: a file written by another tool,
    // with LF line ends or with elements left unread counts as modified only after a change.
    std::string error;
    SaveConfigFile({}, m_FileText, error);
    return read;
}

bool CAppCfg::OpenConfig(const std::string& path, std::string& message) {
    message.clear();
    if (path.empty()) {
        SetDefaults();
        return true;
    }
    const CfgLoadStatus status = open(path, message);
    return status == CfgLoadStatus::Ok || status == CfgLoadStatus::SectionsSkipped ||
           status == CfgLoadStatus::UnsendableKept;
}

bool CAppCfg::SaveConfigAs(const std::string& path, std::string& error) {
    if (path.empty()) return true;
    std::string text;
    if (!SaveConfigFile(path, text, error)) return false;
    m_FileText = std::move(text);
    m_FileState = 1;
    giveWindowOrders();
    return true;
}

// The registry values are read when the CAppRegConfig is built and written when it goes.
void CAppCfg::takeWindowOrders() {
    const CAppRegConfig reg;
    WndLayout.Trace.Order = reg.dwWndTraceOrder;
    WndLayout.Graph.Order = reg.dwWndGraphOrder;
    WndLayout.Send.Order = reg.dwWndSendOrder;
    WndLayout.Info.Order = reg.dwWndInfoOrder;
}

void CAppCfg::giveWindowOrders() const {
    CAppRegConfig reg;
    reg.dwWndTraceOrder = WndLayout.Trace.Order;
    reg.dwWndGraphOrder = WndLayout.Graph.Order;
    reg.dwWndSendOrder = WndLayout.Send.Order;
    reg.dwWndInfoOrder = WndLayout.Info.Order;
}

bool CAppCfg::IsModified() const {
    if (m_FileState == -1 || m_FileState == 0) return false;
    std::string text, error;
    SaveConfigFile({}, text, error);
    return text != m_FileText;
}

CCanDevice* CAppCfg::GetSelectedDevice() {
    copyBusConfig(CanDev[kDevNxp], m_NxpDevice);
    copyBusConfig(CanDev[kDevCf51], m_Cf51Device);
    if (CanDev[kDevNxp].Active) return &m_NxpDevice;
    if (CanDev[kDevCf51].Active) return &m_Cf51Device;
    return nullptr;
}

bool CAppCfg::SaveCanDatabases(CAppCfg& target, const CAppCfg& source, const std::string& path,
                               std::string& error) {
    if (path.empty()) return true;
    // Copied first: target and source may be the same object.
    std::vector<tCFG_CAN_DATABASE> databases = source.CanDatabases;
    std::string message;
    const CfgLoadStatus status = target.open(path, message);
    if (status == CfgLoadStatus::Missing) {
        // The orders come from the registry as for any opened file, so saving writes back the same ones.
        target.SetDefaults();
        target.takeWindowOrders();
    } else if (status != CfgLoadStatus::Ok && status != CfgLoadStatus::UnsendableKept) {
        // Entries that cannot be sent are written back as read; elements not read would be dropped.
        error = "CAN数据库没有保存：" + message;
        return false;
    }
    target.CanDatabases = std::move(databases);
    return target.SaveConfigAs(path, error);
}
