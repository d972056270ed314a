#pragma once
// The interface's record formats on the pipe and in control calls (numbers most significant byte first).
// Used by the library and by its tests.
#include <cstdint>

#include "driver/vyk7k.h"

namespace vyk7k {

inline constexpr uint32_t kCtlIdentity = 0x5500201C;
inline constexpr uint32_t kCtlOpenBus = 0x5500203C;
inline constexpr uint32_t kCtlCloseBus = 0x55002040;
inline constexpr uint32_t kCtlAddPeriodic = 0x55002068;
inline constexpr uint32_t kCtlRemovePeriodic = 0x5500206C;
inline constexpr uint32_t kCtlUpdatePeriodicData = 0x55002070;
inline constexpr uint32_t kCtlUpdatePeriodicPeriod = 0x55002074;
inline constexpr int kRecordSize = 32;

// Controller layout of an identifier: standard: bits 31-21 identifier, bit 20 remote; extended: bits
// 31-21 identifier bits 28-18, bits 20 and 19 set, bits 18-1 identifier bits 17-0, bit 0 remote.
uint32_t ControllerIdWord(uint32_t id, bool ext, bool remote);
// The plain identifier of a controller-layout word, with kVykFlagExt / kVykFlagRemote in `flags`.
uint32_t PlainId(uint32_t word, uint8_t& flags);

// Bit rate in bit/s the configuration asks for: a table code times 1000, or the custom timing's rate
// (12 or 24 MHz / (prescaler x (1 + segment 1 + segment 2))). 0 for an unknown code.
uint32_t ConfigBitRate(const tVYK_CAN_CONFIG& config);
// The 24-byte open-bus control record; false (nothing built) for an unknown bit-rate code.
bool BuildOpenBusRecord(const tVYK_CAN_CONFIG& config, uint8_t out[24]);
// A frame for the OUT pipe: the caller's fields with the identifier in controller layout.
void EncodeTxRecord(const tVYK_CAN_MSG& msg, uint8_t out[kRecordSize]);
// A periodic-transmit entry; `clearTail` zeroes offsets 22 and 24 (add and both updates).
void EncodeCycTxEntry(const tVYK_CAN_CYCTX_MSG& msg, bool clearTail, uint8_t out[28]);
// A record from the IN pipe in host order; frames get the plain identifier, flags and microseconds.
void DecodeRxRecord(const uint8_t in[kRecordSize], tVYK_CAN_MSG& out);
// The result of a status record: by byte 25's levels, else kVykFailed (first kind) or kVykRxEmpty (second).
uint32_t StatusRecordCode(uint8_t ctrlStatus, bool secondKind);
// Percent of the bus's capacity, 0 to 100; 0 when the bit rate is unknown.
float BusLoad(uint32_t bits, uint32_t bitRate);

}  // namespace vyk7k
