#include "services/j1939dmxdata.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr uint8_t kPfTpCm = 0xEC;
constexpr uint8_t kPfTpDt = 0xEB;
constexpr uint8_t kGlobalAddress = 0xFF;
constexpr uint8_t kTpCmBam = 0x20;

std::mutex g_tableLock;
J1939DmxTable g_table;

}  // namespace

J1939DmxTable DefaultJ1939DmxTable() {
    return {{kJ1939PgnDm1, {kJ1939PgnDm1, "DM1"}}, {kJ1939PgnDm2, {kJ1939PgnDm2, "DM2"}}};
}

void FillJ1939DmxTable() {
    std::lock_guard<std::mutex> lock(g_tableLock);
    g_table = DefaultJ1939DmxTable();
}

void EmptyJ1939DmxTable() {
    std::lock_guard<std::mutex> lock(g_tableLock);
    g_table.clear();
}

J1939DmxTable CopyJ1939DmxTable() {
    std::lock_guard<std::mutex> lock(g_tableLock);
    return g_table;
}

bool EncodeJ1939Dtc(uint8_t version, const tJ1939_DTC& dtc, uint8_t (&out)[4]) {
    const uint32_t spn = dtc.Spn & 0x7FFFF;
    const uint8_t fmi = dtc.Fmi & 0x1F;
    uint8_t b1 = 0, b2 = 0, high3 = 0;
    switch (version) {
        case 1:
            b1 = static_cast<uint8_t>(spn >> 11);
            b2 = static_cast<uint8_t>(spn >> 3);
            high3 = static_cast<uint8_t>(spn & 0x7);
            break;
        case 2:
            b1 = static_cast<uint8_t>(spn >> 3);
            b2 = static_cast<uint8_t>(spn >> 11);
            high3 = static_cast<uint8_t>(spn & 0x7);
            break;
        case 3:
        case 4:
            b1 = static_cast<uint8_t>(spn);
            b2 = static_cast<uint8_t>(spn >> 8);
            high3 = static_cast<uint8_t>(spn >> 16);
            break;
        default:
            return false;
    }
    out[0] = b1;
    out[1] = b2;
    out[2] = static_cast<uint8_t>((high3 << 5) | fmi);
    out[3] = static_cast<uint8_t>(((dtc.Cm & 1) << 7) | (dtc.Oc & 0x7F));
    return true;
}

bool DecodeJ1939Dtc(uint8_t version, const uint8_t* bytes, tJ1939_DTC& dtc) {
    const uint32_t b1 = bytes[0], b2 = bytes[1], high3 = bytes[2] >> 5;
    switch (version) {
        case 1:
            dtc.Spn = (b1 << 11) | (b2 << 3) | high3;
            break;
        case 2:
            dtc.Spn = (b2 << 11) | (b1 << 3) | high3;
            break;
        case 3:
        case 4:
            dtc.Spn = b1 | (b2 << 8) | (high3 << 16);
            break;
        default:
            return false;
    }
    dtc.Fmi = bytes[2] & 0x1F;
    dtc.Cm = bytes[3] >> 7;
    dtc.Oc = bytes[3] & 0x7F;
    return true;
}

std::vector<tJ1939_DTC> tEXT_J1939DMX_DATA::Dtcs(uint8_t version) const {
    std::vector<tJ1939_DTC> out;
    if (BytesReceived < 2 || version < 1 || version > 4) return out;
    // TotalSize never exceeds the buffer, so every code read lies inside it.
    const size_t count = TotalSize >= 2 ? (TotalSize - 2u) / 4u : 0;
    for (size_t i = 0; i < count; ++i) {
        tJ1939_DTC dtc;
        DecodeJ1939Dtc(version, Data + 2 + 4 * i, dtc);
        out.push_back(dtc);
    }
    return out;
}

// ---- Receive ----

CJ1939DmxCollector::Result CJ1939DmxCollector::Apply(const tCAN_RAW_MSG& msg) {
    if (!msg.Ext) return Result::Ignored;
    const uint8_t pf = static_cast<uint8_t>(msg.Id >> 16);
    const uint8_t ps = static_cast<uint8_t>(msg.Id >> 8);
    const uint16_t pgn = static_cast<uint16_t>(msg.Id >> 8);
    const bool dmx = m_table.count(pgn) != 0;
    if (pf >= 0xF0) {
        if (!dmx) return Result::Ignored;
    } else if (pf != kPfTpCm && pf != kPfTpDt) {
        return Result::Ignored;
    } else if (ps != kGlobalAddress) {
        // Connection-mode transfers to one node are not BAM; their packets must never feed a BAM.
        return Result::Ignored;
    }
    const uint8_t sa = static_cast<uint8_t>(msg.Id);
    const uint32_t key = static_cast<uint32_t>(msg.Chan) * 256 + sa;
    auto [it, made] = m_nodes.try_emplace(key);
    CCanJ1939DmxNode& node = it->second;
    if (made) {
        node.SA = sa;
        node.Chan = msg.Chan;
    }
    if (pf == kPfTpCm) return applyBam(node, msg);
    if (pf == kPfTpDt) return applyPacket(node, msg);

    tEXT_J1939DMX_DATA& rec = node.Messages[pgn];
    rec = tEXT_J1939DMX_DATA{};
    rec.SA = sa;
    rec.PGN = pgn;
    rec.PacketsAnnounced = rec.PacketsReceived = 1;
    rec.TotalSize = rec.BytesReceived = 6;
    // The first six data bytes whatever the length code says: a frame always carries eight.
    std::memcpy(rec.Data, msg.Data, 6);
    return Result::Message;
}

CJ1939DmxCollector::Result CJ1939DmxCollector::applyBam(CCanJ1939DmxNode& node, const tCAN_RAW_MSG& msg) {
    if (msg.Data[0] != kTpCmBam) return Result::Ignored;
    const uint32_t announced =
        uint32_t{msg.Data[5]} | (uint32_t{msg.Data[6]} << 8) | (uint32_t{msg.Data[7]} << 16);
    node.LastBamPgn = announced;
    const uint16_t size = static_cast<uint16_t>(msg.Data[1] | (msg.Data[2] << 8));
    if (size > kJ1939DmxDataMax) {
        // Refused whatever its PGN, and the node's transfer under that PGN is gone: the packets that follow
        // belong to the refused transfer and must not continue an earlier one.
        node.Transfers.erase(announced);
        return Result::BamRefused;
    }
    if (m_table.count(static_cast<uint16_t>(announced)) == 0) return Result::BamOther;
    // Data packets only ever continue the transfer of the node's last announcement (a node sends one BAM at
    // a time), so every other transfer of the node is over: dropped, or announcements with ever new
    // data-page bytes would pile up transfers that never continue (512 per node).
    node.Transfers.clear();
    tEXT_J1939DMX_DATA& rec = node.Transfers[announced];
    rec = tEXT_J1939DMX_DATA{};
    rec.SA = node.SA;
    rec.PGN = static_cast<uint16_t>(announced);
    rec.PacketsAnnounced = msg.Data[3];
    rec.TotalSize = size;
    return Result::BamStarted;
}

CJ1939DmxCollector::Result CJ1939DmxCollector::applyPacket(CCanJ1939DmxNode& node, const tCAN_RAW_MSG& msg) {
    const auto it = node.Transfers.find(node.LastBamPgn);
    if (it == node.Transfers.end()) return Result::Dropped;
    tEXT_J1939DMX_DATA& rec = it->second;
    if (msg.Data[0] != static_cast<uint8_t>(rec.PacketsReceived + 1)) return Result::Dropped;
    // BytesReceived <= TotalSize <= kJ1939DmxDataMax always holds, so no copy leaves the buffer.
    if (rec.BytesReceived + 7u >= rec.TotalSize) {
        const size_t rest = static_cast<size_t>(rec.TotalSize - std::min(rec.BytesReceived, rec.TotalSize));
        std::memcpy(rec.Data + rec.BytesReceived, msg.Data + 1, rest);
        ++rec.PacketsReceived;
        rec.BytesReceived = rec.TotalSize;
        node.Messages[static_cast<uint32_t>(rec.PGN)] = rec;
        return Result::Completed;
    }
    std::memcpy(rec.Data + rec.BytesReceived, msg.Data + 1, 7);
    rec.BytesReceived = static_cast<uint16_t>(rec.BytesReceived + 7);
    ++rec.PacketsReceived;
    return Result::Packet;
}

// ---- Transmit ----

std::string BuildJ1939DmxTxData(const tCFG_SET_EXT_J1939DMX_SERVICE& set, uint8_t version,
                                const std::vector<tJ1939_DTC>& dtcs, tEXT_J1939DMX_TX_DATA& out) {
    if (dtcs.empty()) return "请添加需要发送的SPN-FMI。";
    if (version < 1 || version > 4) return kJ1939NoVersion;
    if (dtcs.size() > kJ1939DmxMaxDtcs) return "发送的SPN-FMI不能超过255个。";
    tEXT_J1939DMX_TX_DATA tx;
    tx.Priority = set.PgnP & 0x7;
    tx.Edp = set.PgnEdp & 1;
    tx.Dp = set.PgnDp & 1;
    tx.Chan = set.TxCanChan;
    tx.DA = set.PgnDa;
    tx.SA = set.PgnSa;
    tx.PGN = set.DmxPgnVal;
    tx.Data[0] = set.LampStatus;
    tx.Data[1] = 0xFF;
    for (size_t i = 0; i < dtcs.size(); ++i) {
        uint8_t bytes[4];
        EncodeJ1939Dtc(version, dtcs[i], bytes);
        std::memcpy(tx.Data + 2 + 4 * i, bytes, 4);
    }
    const size_t n = dtcs.size();
    tx.TotalSize = static_cast<uint16_t>(4 * n + 2);
    tx.Packets = static_cast<uint16_t>((4 * n + 8) / 7);
    out = tx;
    return {};
}

std::vector<tCAN_RAW_MSG> J1939DmxTxFrames(const tEXT_J1939DMX_TX_DATA& tx) {
    std::vector<tCAN_RAW_MSG> frames;
    const uint32_t base = (uint32_t{tx.Priority & 0x7u} << 26) | (uint32_t{tx.Edp & 1u} << 25) |
                          (uint32_t{tx.Dp & 1u} << 24) | tx.SA;
    auto frame = [&](uint32_t id) {
        tCAN_RAW_MSG m;
        m.Id = id;
        m.Ext = 1;
        m.Remote = 0;
        m.Dir = 1;
        m.Chan = tx.Chan;
        m.Dlc = 8;
        m.TimeMs = 0.0;
        return m;
    };
    if (tx.Packets == 0) return frames;
    const size_t total = std::min<size_t>(tx.TotalSize, kJ1939DmxDataMax);
    if (tx.Packets == 1) {
        tCAN_RAW_MSG m = frame(base | (uint32_t{tx.PGN} << 8));
        std::memcpy(m.Data, tx.Data, 6);
        m.Data[6] = m.Data[7] = 0xFF;
        frames.push_back(m);
        return frames;
    }
    // A BAM is a broadcast: whatever destination is configured, only 0xFF makes receivers take it.
    const uint32_t tp = base | (uint32_t{kGlobalAddress} << 8);
    tCAN_RAW_MSG cm = frame(tp | (uint32_t{kPfTpCm} << 16));
    const uint8_t cmData[8] = {kTpCmBam,
                               static_cast<uint8_t>(tx.TotalSize),
                               static_cast<uint8_t>(tx.TotalSize >> 8),
                               static_cast<uint8_t>(tx.Packets),
                               0xFF,
                               static_cast<uint8_t>(tx.PGN),
                               static_cast<uint8_t>(tx.PGN >> 8),
                               0x00};
    std::memcpy(cm.Data, cmData, 8);
    frames.push_back(cm);
    // A BAM carries at most 255 packets; the payload never needs more than 147 of them.
    const size_t packets = std::min<size_t>(tx.Packets, 255);
    for (size_t p = 1; p <= packets; ++p) {
        tCAN_RAW_MSG dt = frame(tp | (uint32_t{kPfTpDt} << 16));
        dt.Data[0] = static_cast<uint8_t>(p);
        for (size_t i = 0; i < 7; ++i) {
            const size_t at = (p - 1) * 7 + i;
            dt.Data[1 + i] = at < total ? tx.Data[at] : 0xFF;
        }
        frames.push_back(dt);
    }
    return frames;
}
