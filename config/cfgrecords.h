#pragma once
// The records of a working setup that the configuration file carries, apart from the CAN database entries
// (candb/cfgcandb.h). Every record is a plain value type; a default-constructed record is the "new
// record" of its kind, and the configuration's defaults are set by CAppCfg::SetDefaults.
//
// Maps are kept in ascending key order, which is the order in which the file lists their entries.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "candb/canmodel.h"
#include "config/filter/canmsgfilter.h"

// Message key: the identifier, plus this flag for an extended identifier.
constexpr uint32_t kMsgKeyExtFlag = 0x40000000u;
constexpr uint32_t MsgKey(uint32_t id, uint8_t ext) {
    return ext ? id + kMsgKeyExtFlag : id;
}

// ---- Interface devices ----

// Bus settings of one channel of one interface kind.
struct tCFG_CAN_DEV_CHAN_PARAM {
    uint16_t Baudrate = 0;  // kbit/s
    uint8_t Btr0 = 0;       // bus-timing bytes
    uint8_t Btr1 = 0;

    bool operator==(const tCFG_CAN_DEV_CHAN_PARAM&) const = default;
};

// One interface kind. Name and Kind are not stored in the file: loading sets them.
struct tCFG_CAN_DEV {
    std::string Name;
    uint32_t Kind = 0;
    uint8_t Active = 0;  // nonzero: the interface to use when going online
    tCFG_CAN_DEV_CHAN_PARAM CHAN0;
    tCFG_CAN_DEV_CHAN_PARAM CHAN1;

    bool operator==(const tCFG_CAN_DEV&) const = default;
};

// ---- Window layout ----
// Plain values: the main frame applies them to its windows and captures them back.

// A window placement: the window's state and its rectangle in the normal (restored) state.
struct tWND_PLACEMENT {
    int32_t length = 0;  // 44 once set by the defaults or a window
    int32_t flags = 0;
    int32_t showCmd = 0;
    int32_t MinPosX = 0;
    int32_t MinPosY = 0;
    int32_t MaxPosX = 0;
    int32_t MaxPosY = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool operator==(const tWND_PLACEMENT&) const = default;
};

// How a split window is divided, in pixels: current and minimum size of columns 0, 1 and rows 0, 1.
struct tWND_SPLITTER {
    int32_t SpltMode = 0;  // kept as read; nothing uses it
    int32_t C0 = 0;
    int32_t C0Min = 0;
    int32_t C1 = 0;
    int32_t C1Min = 0;
    int32_t R0 = 0;
    int32_t R0Min = 0;
    int32_t R1 = 0;
    int32_t R1Min = 0;

    bool operator==(const tWND_SPLITTER&) const = default;
};

// One child window of the main frame.
struct tWND_CHILD_LAYOUT {
    uint32_t Order = 0;  // stacking order, 0 on top; kept in the registry values, not in the file
    uint8_t Show = 0;    // the window is open
    tWND_PLACEMENT Placement;

    bool operator==(const tWND_CHILD_LAYOUT&) const = default;
};

// A child window with a splitter (graph, send).
struct tWND_SPLIT_CHILD_LAYOUT : tWND_CHILD_LAYOUT {
    tWND_SPLITTER Splitter;

    bool operator==(const tWND_SPLIT_CHILD_LAYOUT&) const = default;
};

// The queue-transmit window: carried through load and save as it stands; all zero until a file sets it.
struct tWND_EXT_SER_LAYOUT {
    tWND_PLACEMENT Placement;
    tWND_SPLITTER Splitter;

    bool operator==(const tWND_EXT_SER_LAYOUT&) const = default;
};

// Where the main frame and its child windows stood, for the screen size they were taken on.
struct tWND_LAYOUT {
    int32_t ScreenWidth = 0;  // pixels
    int32_t ScreenHigh = 0;
    tWND_PLACEMENT MainFrame;
    tWND_CHILD_LAYOUT Trace;
    tWND_SPLIT_CHILD_LAYOUT Graph;
    tWND_SPLIT_CHILD_LAYOUT Send;
    tWND_CHILD_LAYOUT Info;
    tWND_EXT_SER_LAYOUT QueueTx;

    bool operator==(const tWND_LAYOUT&) const = default;
};

// ---- Replay, log, trace ----

struct tCFG_SET_REPLAY {
    uint8_t PageByTimeLengthFlag = 0;  // 1: a page is a stretch of time; 0: a number of frames
    double PageTimeOffset = 0.0;       // ms after the file's first frame
    double PageTimeLength = 0.0;       // ms
    uint32_t PageMsgIndexOffset = 0;   // index of the page's first frame
    uint32_t PageMsgCount = 0;         // frames per page

    bool operator==(const tCFG_SET_REPLAY&) const = default;
};

struct tCFG_SET_LOG {
    uint8_t AutoLogFlag = 0;    // start logging when going online
    std::string LogFileNameId;  // file-name prefix of the continuous log files; always a bare name
    CCanMsgFilter Filter;       // frames that pass are logged
};

// The log-file name prefix as a bare name: only what follows the last '/' or '\', without NUL bytes, so a
// prefix from a file can never lead the logger out of its folder.
std::string LogFileNameIdAsName(std::string_view prefix);

struct tCFG_SET_TRACE {
    uint8_t TraceDetail = 0;  // which of the two trace views is shown
    uint8_t DeltaTime = 0;    // time column shows the time since the previous frame of the key
    uint8_t NumHex = 0;       // identifiers in hexadecimal
    uint8_t OnLine = 0;
    uint8_t Fellow = 0;
    CCanMsgFilter Filter;  // frames that pass are shown
};

// ---- Send and graph ----

// An attribute of a send entry whose file text differs from what the writer makes of the value read: the
// writer's text (Read) and the file's (File). Saving writes File while the value still gives Read.
struct tCFG_KEPT_ATTR {
    std::string Name;
    std::string Read;
    std::string File;

    bool operator==(const tCFG_KEPT_ATTR&) const = default;
};

struct tCFG_SET_SEND_MSG {
    std::string MsgName;
    uint32_t MsgID = 0;  // 11 or 29 bits
    uint8_t Ext = 0;
    uint8_t Rmt = 0;
    uint8_t Chan = 0;
    uint8_t DL = 0;
    uint8_t TxData[8] = {};
    uint16_t CycTxTime = 0;   // ms
    uint16_t CycTxCount = 0;  // number of cyclic transmissions
    uint8_t Parse = 0;
    CCanMsg CanMsg;  // the database message attached to the entry
    // Filled only for an entry read from a file that no frame can be built from (SendMsgFault): its
    // attribute texts that the writer would not reproduce, so that loading and saving leave it as read.
    std::vector<tCFG_KEPT_ATTR> KeptAttrs;

    bool operator==(const tCFG_SET_SEND_MSG&) const = default;
};

struct tCFG_SET_SEND {
    uint8_t SigRawValShowHex = 0;
    std::map<uint32_t, tCFG_SET_SEND_MSG> MsgMap;  // by message key

    bool operator==(const tCFG_SET_SEND&) const = default;
};

struct tCFG_SET_GRAPH_SIG {
    uint32_t Color = 0;  // 0x00BBGGRR
    double ShowMin = 0.0;
    double ShowMax = 0.0;
    int32_t PointType = 1;
    CCanSignal CanSig;

    bool operator==(const tCFG_SET_GRAPH_SIG&) const = default;
};

struct tCFG_SET_GRAPH_MSG {
    uint32_t MsgAppId = 0xFFFFFFFFu;  // message key
    uint8_t UpdateCounter = 0;        // in memory only
    std::vector<tCFG_SET_GRAPH_SIG> SigArray;

    bool operator==(const tCFG_SET_GRAPH_MSG&) const = default;
};

struct tCFG_SET_GRAPH {
    uint8_t GraphGridShow = 0;
    uint32_t BackgroundColor = 0;
    uint32_t GridColor = 0;
    uint32_t XAxisColor = 0;
    int32_t XAxisTimeLength = 0;
    int32_t YAxisShowMode = 0;
    uint8_t PageTurningMode = 0;
    std::map<uint32_t, tCFG_SET_GRAPH_MSG> MsgMap;  // by message key

    bool operator==(const tCFG_SET_GRAPH&) const = default;
};

// ---- Extension services ----

struct tCFG_SET_EXT_QUEUE_TX_MSG {
    std::string MsgName;
    uint32_t MsgID = 0;
    uint32_t Key = 0;  // the entry's key in the map; not stored in the file
    uint8_t Ext = 0;
    uint8_t Chan = 0;
    uint8_t DL = 0;
    uint8_t TxData[8] = {};
    uint16_t BeforeDelayTime = 0;  // ms
    uint16_t AfterDelayTime = 0;   // ms
    uint8_t Parse = 0;
    CCanMsg CanMsg;
    int32_t MsgTxIndex = -1;
    // Filled only for an entry read from a file that cannot be sent as it stands (QueueTxMsgFault), as for
    // a send entry: its attribute texts that the writer would not reproduce.
    std::vector<tCFG_KEPT_ATTR> KeptAttrs;

    bool operator==(const tCFG_SET_EXT_QUEUE_TX_MSG&) const = default;
};

struct tCFG_SET_EXT_QUEUE_TX_SERVICE {
    uint32_t NextKey = 0;  // key of the next entry added or loaded; not stored, not reset by the defaults
    uint8_t SigRawValShowHex = 1;
    std::map<uint32_t, tCFG_SET_EXT_QUEUE_TX_MSG> MsgMap;  // by entry key

    bool operator==(const tCFG_SET_EXT_QUEUE_TX_SERVICE&) const = default;
};

struct tCFG_SET_EXT_J1939DMX_TX_SPN_FMI {
    uint32_t Spn = 0;
    uint8_t Fmi = 0;
    uint8_t Cm = 0;
    uint8_t Oc = 0;

    bool operator==(const tCFG_SET_EXT_J1939DMX_TX_SPN_FMI&) const = default;
};

struct tCFG_SET_EXT_J1939DMX_SERVICE {
    uint8_t J1939FrameFormatVersion = 1;
    uint16_t DmxPgnVal = 0xFECA;
    uint8_t PgnP = 0;
    uint8_t PgnEdp = 0;
    uint8_t PgnDp = 0;
    uint8_t PgnDa = 0xFF;
    uint8_t PgnSa = 0;
    uint8_t TxCanChan = 1;
    uint8_t LampStatus = 0;
    std::vector<tCFG_SET_EXT_J1939DMX_TX_SPN_FMI> SpnFmiArray;  // trouble codes to transmit

    bool operator==(const tCFG_SET_EXT_J1939DMX_SERVICE&) const = default;
};
