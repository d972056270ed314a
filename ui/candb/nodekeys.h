#pragma once
// The 32-bit keys on the editor's tree nodes and list rows. Bit 31 set: a message's node (bit 30 set) or
// one of its signals (bit 30 clear); bit 29 the message's extended flag; bits 0 to 28 its identifier.
// The small keys name the other kinds. A message is found by identifier and extended flag (the first
// match); signals and value tables by name.
#include <cstdint>
#include <string_view>

#include "candb/canmodel.h"

namespace candbui {

enum NodeKey : uint32_t {
    kKeyRoot = 1,
    kKeyMsgFolder = 2,
    kKeySigFolder = 3,
    kKeyFreeSig = 4,
    kKeyFreeSigEnumName = 5,
    kKeyFreeSigEnumItem = 6,
    kKeyEnumFolder = 7,
    kKeyEnum = 8,
    kKeyEnumItem = 9,
};

inline uint32_t MsgKey(uint32_t id, uint8_t ext) {
    return (ext != 0 ? 0xE0000000u : 0xC0000000u) + (id & 0x1FFFFFFFu);
}
inline uint32_t MsgKey(const CCanMsg& msg) {
    return MsgKey(msg.id, msg.Ext);
}
// The key of a message's signals: its key with bit 30 cleared.
inline uint32_t MsgSignalKey(uint32_t msgKey) {
    return msgKey & ~0x40000000u;
}
inline bool IsMsgKey(uint32_t key) {
    return (key & 0xC0000000u) == 0xC0000000u;
}
inline bool IsMsgSignalKey(uint32_t key) {
    return (key & 0xC0000000u) == 0x80000000u;
}

// The first message that a message or message-signal key names; -1 when none.
inline int FindMsgByKey(const tCAN_DATABASE& db, uint32_t key) {
    const uint32_t id = key & 0x1FFFFFFFu;
    const uint8_t ext = (key & 0x20000000u) != 0 ? 1 : 0;
    for (size_t i = 0; i < db.Messages.size(); ++i)
        if (db.Messages[i].id == id && (db.Messages[i].Ext != 0 ? 1 : 0) == ext) return static_cast<int>(i);
    return -1;
}

// The first record of a list whose Name is the name; -1 when none.
template <class List>
int FindByName(const List& list, std::string_view name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].Name == name) return static_cast<int>(i);
    return -1;
}

}  // namespace candbui
