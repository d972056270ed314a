#pragma once
// Records the editor suites build their databases from.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "candb/canmodel.h"

// A signal of `len` bits from bit `start`, Intel byte order unless told otherwise.
inline CCanSignal Sig(const std::string& name, uint8_t start, uint8_t len, bool intel = true) {
    CCanSignal s;
    s.Name = name;
    s.BitOffset = start;
    s.BitLen = len;
    s.ByteFmtIntel = intel ? 1 : 0;
    return s;
}

// An 8-byte message.
inline CCanMsg Msg(const std::string& name, uint32_t id, uint8_t ext, std::vector<CCanSignal> sigs = {}) {
    CCanMsg m;
    m.Name = name;
    m.id = id;
    m.Ext = ext;
    m.DL = 8;
    m.Signals = std::move(sigs);
    return m;
}
