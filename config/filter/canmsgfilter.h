#pragma once
// CAN identifier filter: does a frame match conditions on identifier type, frame type, channel and
// identifier value? Used as the display filter and as the log filter.
#include <cstdint>
#include <map>
#include <string>

// One listed identifier.
struct tFILTER_CAN_MSG {
    std::string Descr;  // UTF-8
    uint32_t MsgId = 0;
};

class CCanMsgFilter {
public:
    uint8_t Enable = 0;        // 0: the filter passes every frame
    uint8_t Block = 0;         // nonzero: matching frames are held back; 0: only matching frames pass
    uint8_t MsgIDType = 2;     // 0 standard only, 1 extended only, other: both
    uint8_t MsgFrmType = 2;    // 0 data frames only, 1 remote frames only, other: both
    uint8_t MsgIdValType = 2;  // 0 the range, 1 the listed identifiers, other: any identifier
    uint8_t Chan = 255;        // the channel a frame must come from; 255: any
    // Listed identifiers keyed by identifier. Iterated in ascending identifier order wherever the order
    // shows (dialog rows, configuration file).
    std::map<uint32_t, tFILTER_CAN_MSG> MsgMap;
    uint32_t FltMsgIdMax = 0x1FFFFFFF;  // inclusive
    uint32_t FltMsgIdMin = 0;           // inclusive

    // Identifiers are plain (no flag bits); a nonzero flag means extended or remote. Enable and Block
    // are not looked at.
    bool IsMatch(uint8_t extended, uint8_t remote, uint32_t id, uint8_t channel) const;

    // The drain's rule: Enable 0 passes everything; block mode holds back the matching frames, pass
    // mode lets only the matching frames through. Any nonzero Block is block mode, as the settings
    // dialog shows it (a stray value must not hold back every frame).
    bool IsPass(uint8_t extended, uint8_t remote, uint32_t id, uint8_t channel) const {
        if (Enable == 0) return true;
        return IsMatch(extended, remote, id, channel) != (Block != 0);
    }

    // Copies every field and the whole list of the source into the target and returns the target.
    // Assigning a filter to itself leaves it unchanged.
    static CCanMsgFilter& Assign(CCanMsgFilter& target, const CCanMsgFilter& source);
};
