#include "logging/canmsgfile.h"

#include <cstring>

namespace {

void putU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getU32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

void EncodeCrmMsg(const tCAN_RAW_MSG& msg, uint8_t* out) {
    putU32(out, msg.Id);
    out[4] = msg.Ext;
    out[5] = msg.Remote;
    out[6] = msg.Dir;
    uint64_t bits;
    std::memcpy(&bits, &msg.TimeMs, sizeof bits);
    for (int i = 0; i < 8; ++i) out[7 + i] = static_cast<uint8_t>(bits >> (8 * i));
    out[15] = msg.Chan;
    out[16] = msg.Dlc;
    std::memcpy(out + 17, msg.Data, 8);
}

void DecodeCrmMsg(const uint8_t* in, tCAN_RAW_MSG& msg) {
    msg.Id = getU32(in);
    msg.Ext = in[4] != 0 ? 1 : 0;
    msg.Remote = in[5] != 0 ? 1 : 0;
    msg.Dir = in[6] != 0 ? 1 : 0;
    const uint64_t bits = uint64_t{getU32(in + 7)} | (uint64_t{getU32(in + 11)} << 32);
    std::memcpy(&msg.TimeMs, &bits, sizeof bits);
    msg.Chan = in[15];
    msg.Dlc = in[16];
    std::memcpy(msg.Data, in + 17, 8);
}

bool CCanMsgFile::OpenRead(const std::string&, uint32_t&, double&) {
    return false;
}
void CCanMsgFile::CloseRead() {}
bool CCanMsgFile::ReadByTime(double, double, tCAN_RAW_MSG*, uint32_t, uint32_t&) {
    return false;
}
bool CCanMsgFile::ReadByIndex(uint32_t, uint32_t, tCAN_RAW_MSG*, uint32_t, uint32_t&) {
    return false;
}
bool CCanMsgFile::OpenWrite(const std::string&) {
    return false;
}
void CCanMsgFile::WriteMsg(const tCAN_RAW_MSG&) {}
bool CCanMsgFile::CloseWrite() {
    return false;
}

bool CCanMsgReplayLogFile::OpenRead(const std::string&, uint32_t&, double&) {
    return false;
}
void CCanMsgReplayLogFile::CloseRead() {}
bool CCanMsgReplayLogFile::ReadByTime(double, double, tCAN_RAW_MSG*, uint32_t, uint32_t&) {
    return false;
}
bool CCanMsgReplayLogFile::ReadByIndex(uint32_t, uint32_t, tCAN_RAW_MSG*, uint32_t, uint32_t&) {
    return false;
}
void CCanMsgReplayLogFile::ReadPageByTime(double, double, uint32_t&) {}
void CCanMsgReplayLogFile::ReadPageByIndex(uint32_t, uint32_t, uint32_t&) {}
bool CCanMsgReplayLogFile::FindPage(uint32_t, tREPLAY_PAGE_INFO&) {
    return false;
}
