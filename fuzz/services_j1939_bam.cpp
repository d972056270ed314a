// The J1939 receive side over any sequence of frames (13 bytes each: identifier, channel, eight data bytes;
// the top bit of the identifier's first byte clears the extended flag): no transfer ever holds more than the
// buffer, every message's codes stay within it, and a node keeps at most one transfer and one message per
// DMx PGN however the announcements come.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "services/j1939dmxdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CJ1939DmxCollector rx;
    for (size_t at = 0; at + 13 <= size; at += 13) {
        tCAN_RAW_MSG m;
        m.Id = (uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 |
                data[at + 3]) &
               0x1FFFFFFF;
        m.Ext = (data[at] & 0x80) ? 0 : 1;
        m.Chan = data[at + 4];
        m.Dlc = 8;
        std::memcpy(m.Data, data + at + 5, 8);
        rx.Apply(m);
    }
    for (const auto& [key, node] : rx.Nodes()) {
        if (key != static_cast<uint32_t>(node.Chan) * 256 + node.SA) std::abort();
        if (node.Transfers.size() > 1 || node.Messages.size() > rx.Table().size()) std::abort();
        for (const auto* map : {&node.Messages, &node.Transfers}) {
            for (const auto& [pgn, msg] : *map) {
                if (msg.TotalSize > kJ1939DmxDataMax || msg.BytesReceived > msg.TotalSize) std::abort();
                for (uint8_t v = 1; v <= 4; ++v)
                    if (msg.Dtcs(v).size() > 255) std::abort();
            }
        }
    }
    return 0;
}
