#pragma once
// CAppCfg: one working setup of the program and its XML configuration file (GBK, root "VEXAR_CFG_FILE").
//
// The settings are public members that the windows, the data hub and the services read and change in
// place. The object also owns one device object of each plug-in; going online takes the one chosen by
// GetSelectedDevice.
//
// Failures never change what they did not finish: a file that cannot be read or is not a configuration
// file leaves the setup, its path state and its saved text as they were; a save that fails leaves the file
// on disk, the file state and the saved text untouched. Every failure comes back as false with a message
// (UTF-8) for the operator.
#include <cstdint>
#include <string>
#include <vector>

#include "candb/cfgcandb.h"
#include "config/cfgrecords.h"
#include "platform/clock.h"
#include "plugins/cf51/parvel.h"
#include "plugins/nxp/morvan.h"

class CXmlDoc;

// What reading a configuration file found.
enum class CfgLoadStatus {
    Ok,               // read in full
    SectionsSkipped,  // read, but some elements of the root were not: out of order or unknown
    UnsendableKept,   // read in full; some send or queue entries cannot be sent as they stand, kept as read
    Missing,          // no file of that name
    Unreadable,       // the file exists but could not be read
    NotConfig,        // no element, or a top-level element of another name
    IllFormed,        // not well-formed XML
};

class CAppCfg {
public:
    // Indexes of the three interface records.
    enum : size_t { kDevNxp = 0, kDevCf51 = 1, kDevWiFi = 2 };

    // Builds both device objects, then SetDefaults; file state -1, file text empty.
    CAppCfg();
    ~CAppCfg();
    CAppCfg(const CAppCfg&) = delete;
    CAppCfg& operator=(const CAppCfg&) = delete;

    // ---- The setup ----
    tCFG_CAN_DEV CanDev[3];                       // NXP, CF51, WiFi
    std::vector<tCFG_CAN_DATABASE> CanDatabases;  // in file order
    tWND_LAYOUT WndLayout;  // the file's first section; the stacking orders are in the registry values
    tCFG_SET_REPLAY Replay;
    tCFG_SET_LOG Log;      // with the log filter
    tCFG_SET_TRACE Trace;  // with the display filter
    tCFG_SET_SEND Send;
    tCFG_SET_GRAPH Graph;
    tCFG_SET_EXT_QUEUE_TX_SERVICE QueueTx;
    tCFG_SET_EXT_J1939DMX_SERVICE J1939;

    // Every setting to its default; databases, maps and lists emptied, both filters reset. The queue
    // list's next key, the queue-transmit window's layout, the R1Min of both splitters, the file state and
    // the file text are left as they are.
    void SetDefaults();

    // Reads the file into the setup, section by section in the file's order; a section that is absent,
    // or stands before one already read, leaves its record as it was. Nothing is changed unless the
    // status is Ok, SectionsSkipped or UnsendableKept. text receives the file's whole content (empty when
    // it could not be read); message explains any other status (empty for Ok), naming each element not
    // read and each send entry that cannot be sent.
    CfgLoadStatus LoadConfigFile(const std::string& path, std::string& text, std::string& message);

    // Builds the file text (declaration line and document) into text; with a non-empty path also writes it
    // (atomically). On a write failure: false, error set, text and the file unchanged.
    bool SaveConfigFile(const std::string& path, std::string& text, std::string& error) const;

    // Defaults, file state -1, then a new file in the "cfg" folder of currentDir (the process's current
    // directory when empty): "default.xml", or a time-stamped name when that exists. No existing file is
    // ever overwritten. path is set only on success.
    bool CreateDefaultConfig(std::string& path, std::string& error, const std::string& currentDir = {});

    // An empty path only sets the defaults. Otherwise, when the file can be read as a configuration file:
    // defaults, then the file, then the stacking orders of the four child windows from the registry values
    // ("dwWndTraceOrder", "dwWndGraphOrder", "dwWndSendOrder", "dwWndInfoOrder"); file state 1; the file
    // text is what SaveConfigFile makes of the setup read, so a file written by another tool or with
    // other line ends does not count as modified; true, with message set when some elements were not read
    // (saving then drops them) or some send entries cannot be sent. Otherwise false with message, and
    // nothing changed.
    bool OpenConfig(const std::string& path, std::string& message);

    // An empty path does nothing (true). Otherwise writes the file; on success file state 1, file text
    // the text written, and the four stacking orders copied into the registry values.
    bool SaveConfigAs(const std::string& path, std::string& error);

    // False while the file state is -1 or 0; else whether the setup's text differs from the file text.
    bool IsModified() const;

    // A name for a new file that does not exist yet (see CreateDefaultConfig); the "cfg" folder is
    // created when missing, and when it cannot be, the name lies in currentDir itself. A time-stamped name
    // that is taken gets "_2", "_3" ... before ".xml".
    static std::string MakeNewCfgFilePath(const std::string& currentDir = {});
    static std::string MakeNewCfgFilePath(const std::string& currentDir, const vex::LocalTime& now);

    // Copies both channels of the NXP and CF51 records into the bus configuration of their device
    // objects; returns the NXP object when its record is Active, else the CF51 object when its record is
    // Active, else null.
    CCanDevice* GetSelectedDevice();

    // Writes the source's databases into the file at path, every other section as the file holds it:
    // opens path on target, replaces target's database list with a copy of source's, saves target to path.
    // An empty path does nothing. A file that exists but does not read cleanly is not written (false,
    // error); a missing file is written with the defaults and the databases.
    static bool SaveCanDatabases(CAppCfg& target, const CAppCfg& source, const std::string& path,
                                 std::string& error);

    // -1 after construction and CreateDefaultConfig, 0 for a new setup not yet saved (set by the caller),
    // 1 once opened from or saved to a named file.
    int32_t FileState() const { return m_FileState; }
    void SetFileState(int32_t state) { m_FileState = state; }
    // The text last written by SaveConfigAs, or made from the setup that OpenConfig read.
    const std::string& FileText() const { return m_FileText; }
    void ClearFileText() { m_FileText.clear(); }

    // The two device objects, for their report rings.
    CCanDeviceVykNxp& NxpDevice() { return m_NxpDevice; }
    CCanDeviceVykCf51& Cf51Device() { return m_Cf51Device; }

private:
    CfgLoadStatus open(const std::string& path, std::string& message);
    CfgLoadStatus readFile(const std::string& path, CXmlDoc& doc, std::string& text, std::string& message);
    CfgLoadStatus readSections(CXmlDoc& doc, const std::string& path, std::string& message);
    void writeSections(CXmlDoc& doc) const;
    void takeWindowOrders();
    void giveWindowOrders() const;

    int32_t m_FileState = -1;
    std::string m_FileText;
    CCanDeviceVykNxp m_NxpDevice;
    CCanDeviceVykCf51 m_Cf51Device;
};
