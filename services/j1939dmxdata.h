#pragma once
// The J1939 DMx records and the pure parts of the DMx service: the table of diagnostic PGNs, the trouble-code
// layouts of the four frame-format versions, the receive side that collects DMx messages per node from
// single frames and BAM transfers, and the frames one transmit cycle sends. No threads, no locks.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/cfgrecords.h"
#include "plugins/include/candevice.h"

// ---- The DMx table ----

struct tEXT_J1939DMX_DMX_DESCR {
    uint16_t PGN = 0;
    std::string name;
};
using J1939DmxTable = std::map<uint16_t, tEXT_J1939DMX_DMX_DESCR>;  // by 16-bit PGN, ascending

inline constexpr uint16_t kJ1939PgnDm1 = 0xFECA;
inline constexpr uint16_t kJ1939PgnDm2 = 0xFECB;

// The program-wide table: DM1 and DM2 once the DMx service has been built, empty again after
// EmptyJ1939DmxTable (program exit). Any thread.
void FillJ1939DmxTable();
void EmptyJ1939DmxTable();
J1939DmxTable CopyJ1939DmxTable();
// The two rows the table holds while the program runs.
J1939DmxTable DefaultJ1939DmxTable();

// ---- Trouble codes ----

// One trouble code: SPN 19 bits, FMI 5 bits, CM 1 bit, OC 7 bits.
struct tJ1939_DTC {
    uint32_t Spn = 0;
    uint8_t Fmi = 0;
    uint8_t Cm = 0;
    uint8_t Oc = 0;

    bool operator==(const tJ1939_DTC&) const = default;
};

// The four DTC bytes of a code in the layout of a frame-format version (1 to 4); fields are masked to their
// widths. False, `out` untouched, for any other version.
bool EncodeJ1939Dtc(uint8_t version, const tJ1939_DTC& dtc, uint8_t (&out)[4]);
// The code that four DTC bytes carry in a version's layout; false for a version outside 1 to 4.
bool DecodeJ1939Dtc(uint8_t version, const uint8_t* bytes, tJ1939_DTC& dtc);

// ---- Messages and nodes ----

inline constexpr size_t kJ1939DmxDataMax = 1024;

// One DMx message or BAM transfer. A single-frame message counts 1 of 1 packets and 6 of 6 bytes.
struct tEXT_J1939DMX_DATA {
    uint8_t SA = 0;
    uint16_t PGN = 0;
    uint16_t PacketsAnnounced = 0;
    uint16_t PacketsReceived = 0;
    uint16_t TotalSize = 0;  // at most kJ1939DmxDataMax
    uint16_t BytesReceived = 0;
    uint8_t Data[kJ1939DmxDataMax] = {};  // zero beyond what arrived

    // The DTCs of the message: (TotalSize - 2) / 4 codes from payload byte 2 on, in a version's layout;
    // none before two bytes arrived or for a version outside 1 to 4.
    std::vector<tJ1939_DTC> Dtcs(uint8_t version) const;
};

// One node: a source address on a channel.
class CCanJ1939DmxNode {
public:
    uint8_t SA = 0;
    uint8_t Chan = 0;
    std::map<uint32_t, tEXT_J1939DMX_DATA> Messages;   // complete messages by PGN
    std::map<uint32_t, tEXT_J1939DMX_DATA> Transfers;  // the last BAM transfer taken, by announced PGN
    uint32_t LastBamPgn = 0;                           // PGN of the node's last BAM announcement
};

// Nodes by channel x 256 + source address, ascending (the order the dialog's tree shows).
using J1939DmxNodeMap = std::map<uint32_t, CCanJ1939DmxNode>;

// The receive side. Frames that are not DMx traffic are ignored: standard frames, PDU2 frames of PGNs
// outside the table, PDU1 frames other than TP.CM and TP.DT, and every TP.CM/TP.DT not addressed to the
// global address 0xFF (only BAM is handled, and BAM is always broadcast).
class CJ1939DmxCollector {
public:
    enum class Result {
        Ignored,
        Message,     // a single-frame DMx message stored
        BamStarted,  // a transfer of a DMx PGN begun; the node's earlier transfers are dropped
        BamOther,    // a BAM of another PGN: it only becomes the node's last BAM
        BamRefused,  // announced more than kJ1939DmxDataMax bytes: refused, the node's transfer ended
        Packet,      // a data packet taken into the transfer
        Completed,   // ... which completed it
        Dropped,     // a data packet without a transfer, or out of sequence
    };

    explicit CJ1939DmxCollector(J1939DmxTable table = DefaultJ1939DmxTable()) : m_table(std::move(table)) {}

    Result Apply(const tCAN_RAW_MSG& msg);

    const J1939DmxNodeMap& Nodes() const { return m_nodes; }
    void Clear() { m_nodes.clear(); }
    const J1939DmxTable& Table() const { return m_table; }

private:
    Result applyBam(CCanJ1939DmxNode& node, const tCAN_RAW_MSG& msg);
    Result applyPacket(CCanJ1939DmxNode& node, const tCAN_RAW_MSG& msg);

    J1939DmxTable m_table;
    J1939DmxNodeMap m_nodes;
};

// ---- Transmit ----

inline constexpr size_t kJ1939DmxMaxDtcs = 255;  // 4 x 255 + 2 bytes fill the 1024-byte buffer

// The message the service sends once a second.
struct tEXT_J1939DMX_TX_DATA {
    uint8_t Priority = 6;  // 3 bits
    uint8_t Edp = 0;       // 1 bit
    uint8_t Dp = 0;        // 1 bit
    uint8_t Chan = 0;
    uint8_t DA = 0;
    uint8_t SA = 0;
    uint16_t PGN = 0;
    uint16_t Packets = 0;
    uint16_t TotalSize = 0;
    uint8_t Data[kJ1939DmxDataMax] = {};
};

// The message of the dialog's settings: priority, pages, addresses, channel and lamp status from `set`,
// PGN `set.DmxPgnVal`, payload lamp status, 0xFF, then one DTC per code in the layout of `version`; size
// 4 x n + 2, packets (4 x n + 8) / 7. Empty on success; otherwise the refusal: "请添加需要发送的SPN-FMI。"
// without codes, more than kJ1939DmxMaxDtcs codes, or for a version outside 1 to 4 the text "version"
// (the dialog then does nothing).
std::string BuildJ1939DmxTxData(const tCFG_SET_EXT_J1939DMX_SERVICE& set, uint8_t version,
                                const std::vector<tJ1939_DTC>& dtcs, tEXT_J1939DMX_TX_DATA& out);
inline constexpr const char* kJ1939NoVersion = "version";

// The frames of one transmit cycle, in order: none for zero packets, one frame for one packet, else the BAM
// announcement (always to 0xFF) and its data packets. Every frame is extended, 8 bytes, on the record's
// channel, marked transmitted. The thread waits 50 ms before each data packet.
std::vector<tCAN_RAW_MSG> J1939DmxTxFrames(const tEXT_J1939DMX_TX_DATA& tx);
