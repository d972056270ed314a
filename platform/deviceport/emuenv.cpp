// The emulation's start-up choice from the environment (see README):
//   VEX_EMU_DEVICES  interfaces plugged in: "cf51,nxp" (default), one of them, or "none".
//   VEX_EMU_TRAFFIC  the peer's traffic: "default" (or unset), "off", or entries separated by ';', each
//                    "<channel>:<identifier>[x]:<period ms>[:<data hex>]", e.g. "1:0x18FEF100x:100:0102".
// A malformed entry is reported on standard error and left out.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/deviceport/emunodes.h"

namespace vex::emu {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool ParseNumber(std::string_view text, uint64_t limit, uint64_t& value) {
    if (text.empty()) return false;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    value = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return false;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > limit) return false;
    }
    return true;
}

}  // namespace

bool ParseTrafficEntry(std::string_view entry, int& segment, Frame& frame, uint32_t& periodMs) {
    std::string_view parts[4];
    size_t n = 0;
    for (;;) {
        if (n == 4) return false;
        const size_t colon = entry.find(':');
        parts[n++] = entry.substr(0, colon);
        if (colon == std::string_view::npos) break;
        entry.remove_prefix(colon + 1);
    }
    if (n < 3) return false;
    uint64_t v = 0;
    if (!ParseNumber(parts[0], 1, v)) return false;
    segment = static_cast<int>(v);
    std::string_view id = parts[1];
    frame.ext = !id.empty() && (id.back() == 'x' || id.back() == 'X');
    if (frame.ext) id.remove_suffix(1);
    if (!ParseNumber(id, frame.ext ? 0x1FFFFFFF : 0x7FF, v)) return false;
    frame.id = static_cast<uint32_t>(v);
    if (!ParseNumber(parts[2], 3'600'000, v) || v == 0) return false;
    periodMs = static_cast<uint32_t>(v);
    frame.dlc = 0;
    if (n == 4) {
        const std::string_view hex = parts[3];
        if (hex.size() % 2 != 0 || hex.size() > 16) return false;
        for (size_t i = 0; i < hex.size(); i += 2) {
            std::string byte = "0x";
            byte += hex.substr(i, 2);
            if (!ParseNumber(byte, 0xFF, v)) return false;
            frame.data[i / 2] = static_cast<uint8_t>(v);
        }
        frame.dlc = static_cast<uint8_t>(hex.size() / 2);
    }
    return true;
}

void ApplyEnvironment(Bus& bus) {
    const char* devices = std::getenv("VEX_EMU_DEVICES");
    if (devices) {
        const std::string d = Lower(devices);
        if (d.find("cf51") == std::string::npos) bus.Cf51().Unplug();
        if (d.find("nxp") == std::string::npos && d.find("twochannel") == std::string::npos) {
            bus.TwoChannel().Unplug();
        }
    }
    const char* traffic = std::getenv("VEX_EMU_TRAFFIC");
    const std::string t = traffic ? Lower(traffic) : std::string("default");
    if (t == "default" || t.empty()) {
        AddDefaultTraffic(bus.Peer());
        return;
    }
    if (t == "off" || t == "none") return;
    std::string_view rest(traffic);
    while (!rest.empty()) {
        const size_t semi = rest.find(';');
        const std::string_view entry = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        if (entry.empty()) continue;
        int segment = 0;
        Frame frame;
        uint32_t periodMs = 0;
        if (ParseTrafficEntry(entry, segment, frame, periodMs)) {
            bus.Peer().AddPeriodic(segment, frame, periodMs, 0, false);
        } else {
            std::fprintf(stderr,
                         "VEX_EMU_TRAFFIC: entry \"%.*s\" left out: expected "
                         "<channel>:<identifier>[x]:<period ms>[:<data hex>]\n",
                         static_cast<int>(entry.size()), entry.data());
        }
    }
}

}  // namespace vex::emu
