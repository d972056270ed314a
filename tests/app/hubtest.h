#pragma once
// Helpers of the data hub and workspace suites: small databases, frames, and a logger double.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/canmsglogsink.h"
#include "candb/cfgcandb.h"
#include "plugins/include/candevice.h"

namespace hubtest {

inline CCanSignal Sig(const std::string& name, uint8_t bitOffset, uint8_t bitLen, bool intel = true,
                      bool sign = false, double factor = 1.0, double offset = 0.0) {
    CCanSignal s;
    s.Name = name;
    s.BitOffset = bitOffset;
    s.BitLen = bitLen;
    s.ByteFmtIntel = intel ? 1 : 0;
    s.Sign = sign ? 1 : 0;
    s.ValFactor = factor;
    s.ValOffset = offset;
    return s;
}

inline CCanMsg Msg(const std::string& name, uint32_t id, uint8_t ext, std::vector<CCanSignal> sigs = {}) {
    CCanMsg m;
    m.Name = name;
    m.id = id;
    m.Ext = ext;
    m.DL = 8;
    m.Signals = std::move(sigs);
    return m;
}

inline tCFG_CAN_DATABASE Db(const std::string& name, int32_t priority, std::vector<CCanMsg> msgs) {
    tCFG_CAN_DATABASE db;
    db.Name = name;
    db.PriorityLevel = priority;
    db.Database.Messages = std::move(msgs);
    return db;
}

inline tCAN_RAW_MSG Frame(uint32_t id, uint8_t ext = 0, uint8_t chan = 0, double timeMs = 0.0,
                          std::initializer_list<uint8_t> data = {}, uint8_t remote = 0) {
    tCAN_RAW_MSG f;
    f.Id = id;
    f.Ext = ext;
    f.Chan = chan;
    f.Remote = remote;
    f.TimeMs = timeMs;
    f.Dlc = static_cast<uint8_t>(data.size());
    size_t i = 0;
    for (uint8_t& b : f.Data) b = 0;
    for (uint8_t b : data) f.Data[i++] = b;
    return f;
}

// Records everything the hub or workspace asked of the logger.
class RecordingSink final : public ICanMsgLogSink {
public:
    bool Start(const std::string& prefix) override {
        ++starts;
        prefixes.push_back(prefix);
        if (refuseStart) return false;
        open = true;
        return true;
    }
    void WriteMsg(const tCAN_RAW_MSG& msg) override {
        if (open) frames.push_back(msg);
    }
    void Stop() override {
        ++stops;
        open = false;
    }
    bool IsOpen() const override { return open; }

    bool open = false;
    bool refuseStart = false;
    int starts = 0;
    int stops = 0;
    std::vector<std::string> prefixes;
    std::vector<tCAN_RAW_MSG> frames;
};

}  // namespace hubtest
