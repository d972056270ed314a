// The program's text log as the interoperability test drives it:
//   asc_tool write <file.txt>   writes a fixed set of frames and prints them
//   asc_tool read <file.txt>    reads a text log and prints its frames
// Each frame is printed on one line: time in ms (%.6f), channel, identifier (hex), extended, direction,
// remote, length code, data bytes (hex, as many as the length code gives, at most eight).
#include <cstdio>
#include <cstring>
#include <vector>

#include "logging/canmsgasctxtfile.h"

namespace {

void print(const tCAN_RAW_MSG& m) {
    std::printf("%.6f %u %X %u %u %u %u", m.TimeMs, m.Chan, m.Id, m.Ext, m.Dir, m.Remote, m.Dlc);
    for (int i = 0; i < (m.Dlc < 8 ? m.Dlc : 8); ++i) std::printf(" %02X", m.Data[i]);
    std::printf("\n");
}

// Standard and extended, received and sent, data and remote frames, lengths 0..8, channels 1..3, times
// with microseconds.
std::vector<tCAN_RAW_MSG> frames() {
    std::vector<tCAN_RAW_MSG> out;
    for (uint32_t i = 0; i < 60; ++i) {
        tCAN_RAW_MSG m;
        m.Ext = i % 3 == 1;
        m.Id = m.Ext ? 0x18FEF100u + i : 0x100u + 13 * i;
        m.Dir = i % 4 == 3;
        m.Remote = i % 7 == 5;
        m.Chan = static_cast<uint8_t>(1 + i % 3);
        m.Dlc = static_cast<uint8_t>(i % 9);
        for (int b = 0; b < 8; ++b) m.Data[b] = m.Remote || b >= m.Dlc ? 0 : static_cast<uint8_t>(i * 7 + b);
        m.TimeMs = 1000.0 + i * 12.345;
        out.push_back(m);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    if (std::strcmp(argv[1], "write") == 0) {
        CCanMsgAscTxtFile file;
        if (!file.OpenWrite(argv[2])) return 1;
        for (const tCAN_RAW_MSG& m : frames()) {
            file.WriteMsg(m);
            print(m);
        }
        return file.CloseWrite() ? 0 : 1;
    }
    if (std::strcmp(argv[1], "read") == 0) {
        CCanMsgAscTxtFile file;
        uint32_t count = 0, n = 0;
        double duration = 0;
        if (!file.OpenRead(argv[2], count, duration)) return 1;
        std::vector<tCAN_RAW_MSG> out(count);
        if (count > 0 && !file.ReadByIndex(0, count, out.data(), count, n)) return 1;
        for (const tCAN_RAW_MSG& m : out) print(m);
        return 0;
    }
    return 2;
}
