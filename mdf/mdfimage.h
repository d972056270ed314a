#pragma once
// The file image behind a CLorimar: the description of the file being created or read, the channel-number
// table, the record slots and record stores of a creation, and the read-only mapping of an opened file.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mdf/lorimar.h"
#include "mdf/mdfrecordstore.h"

namespace lorimar {

// Fields of the identification and header blocks that a created file takes over from the file the object
// opened last (defaults after construction).
struct MdfIdentity {
    std::array<uint8_t, 8> fileId{'M', 'D', 'F', ' ', ' ', ' ', ' ', ' '};
    uint16_t floatFormat = 0;
    uint16_t version = 300;
    uint16_t codePage = 0;
    std::array<uint8_t, 32> reserved{};  // identification bytes 32 to 63
    uint16_t headerSize = 164;           // as the opened file declares it; see writtenHeaderSize
    uint64_t timeStamp = 0;
    int16_t utcOffset = 0;
    uint16_t timeQuality = 0;
    std::string timerId;
};

// The header size a created file carries: the identity's, except that a header declared shorter than 208
// bytes is written with 164, since the long-header fields at 164..207 would run past its end into the data.
inline uint16_t writtenHeaderSize(const MdfIdentity& id) {
    return id.headerSize >= 208 ? id.headerSize : 164;
}

// Creation state of one channel group: 256 record slots.
struct MdfChannelGroup {
    uint32_t dataGroup = 0;
    uint16_t recordSize = 0;
    uint16_t channelCount = 0;
    uint8_t recordId = 0;
    uint64_t recordCount = 0;
    std::vector<uint8_t> buffers;  // 256 * recordSize
    std::vector<uint8_t> filled;   // 256 * channelCount flags
    std::vector<double> pending;   // 256 * channelCount: each channel's value as stored, for its range
    uint32_t firstChannel = 0;     // number of the group's first channel; the others follow it
    std::array<uint32_t, 256> filledCount{};
    std::array<uint32_t, 256> idle{};
};

// Creation state of one data group.
struct MdfDataGroup {
    uint8_t recordIdCount = 0;
    MdfRecordStore store;
};

// A channel of the file being created, by channel number.
struct MdfChannel {
    uint32_t group = 0;  // index into the flat channel-group list
    uint16_t index = 0;  // position in its channel group
    uint16_t startBit = 0;
    uint16_t bitCount = 0;
    uint16_t dataType = 0;
    bool rangeSet = false;
    double minimum = 0.0;
    double maximum = 0.0;
};

// How a channel's bits are taken from a record, fixed at open.
enum class BitLoad : uint8_t {
    WordLittle,  // little-endian: the covered bytes lie in the 8 record bytes at loadByte, one load
    WordBig,     // big-endian: the same 8 bytes read as a big-endian word
    Bytes,       // byte by byte: a value spanning 9 bytes, or a record shorter than 8 bytes
};

struct MdfReadChannel;
// Decodes the physical values of n records of a channel into `out`: record i starts at data + offsets[i], or
// at data + i * stride without offsets. For a conversion that can fail it also stores each value's result
// code into `codes`.
using MdfColumnDecoder = void (*)(const MdfReadChannel& ch, const uint8_t* data, const uint32_t* offsets,
                                  uint64_t stride, uint32_t n, double* out, uint8_t* codes);

// A channel of the opened file, by channel number: everything a value read needs, resolved at open.
struct MdfReadChannel {
    // Fields every read takes first, so that they share a cache line.
    uint32_t count = 0;  // records the file holds
    uint16_t dataType = 0;
    uint16_t bitCount = 0;
    uint64_t baseOffset = 0;            // file offset of record 0 (after its identifier)
    uint32_t group = 0;                 // index of its channel group among all of the file
    uint8_t idBytes = 0;                // identifier bytes before each record: 0 or 1
    const uint32_t* offsets = nullptr;  // mixed data groups: offset of each record from the file start
    uint64_t stride = 0;                // single-group data groups: bytes from one record to the next
    uint64_t mask = 0;                  // bitCount low bits
    uint32_t loadByte = 0;
    uint8_t loadShift = 0;  // bits from the loaded word's bit 0 to the channel's first bit
    uint8_t signShift = 0;  // 64 - bitCount: a signed value's sign bit moved to bit 63 and back
    BitLoad load = BitLoad::Bytes;
    bool readable = false;  // the covered bytes lie inside the record
    // The conversion most channels have, resolved at open; anything else goes through convertToPhysical.
    enum class Conv : uint8_t { None, Linear, Other } conv = Conv::None;
    double factor = 1.0;
    double offset = 0.0;
    // Decodes runs of records for the column cache; null for channels read value by value (not readable,
    // no bits, or a data type and width none of the four).
    MdfColumnDecoder decode = nullptr;

    uint32_t firstByte = 0;  // additional byte offset + start bit / 8
    uint8_t byteCount = 0;   // bytes covered, at most 9
    uint8_t shift = 0;       // start bit % 8
    bool big = false;        // big-endian file: the covered bytes are read last to first
    const tMDF_CN_INFO* info = nullptr;
};

// A window of a channel group's records read from the file in one piece.
struct MdfRecordWindow {
    uint32_t first = 0;  // first record
    uint32_t size = 0;   // records held; 0: none
    uint64_t used = 0;   // when it was last used: the least recently used window is read over
    std::unique_ptr<uint8_t[]> bytes;
};

// A channel group's runs: its records read from the file a window at a time into a few windows that the
// decoders of all its channels share (groups alone in their data group, of a file opened from disk), so that
// reading every channel a run or a few thousand records at a time reads each record from the file once; and
// the storage of its channels' decoded columns, side by side with a line of padding between them so that the
// values of one record in consecutive channels do not compete for the same cache sets.
struct MdfGroupRuns {
    uint64_t start = 0;   // file offset of the data block
    uint64_t stride = 0;  // bytes per record with its identifiers
    uint32_t count = 0;   // records the file holds
    uint32_t run = 1;     // records per decoded run
    uint32_t window = 1;  // records per window, a multiple of the run
    bool block = false;   // records are read from the file in windows
    static constexpr size_t kWindows = 4;
    std::array<MdfRecordWindow, kWindows> windows;
    uint32_t firstChannel = 0;  // number of the group's first channel; the others follow it
    uint32_t channels = 0;
    std::unique_ptr<double[]> values;  // channels * (run + kColumnPad) values, on the group's first read
    std::unique_ptr<uint8_t[]> codes;  // likewise, result codes for conversions that can fail
    static constexpr uint32_t kColumnPad = 8;
};

// The decoded run of one channel: values of records first .. first + size - 1 (in its group's storage).
struct MdfColumn {
    uint32_t first = 0;
    uint32_t size = 0;  // 0: nothing decoded
    const double* values = nullptr;
    const uint8_t* codes = nullptr;  // conversions that can fail: each value's result code
};

enum class ValueKind { Unsigned, Signed, Single, Double };

class MdfFileImage {
public:
    MdfFileImage();
    ~MdfFileImage();
    MdfFileImage(const MdfFileImage&) = delete;
    MdfFileImage& operator=(const MdfFileImage&) = delete;

    // Creation (mdfwrite.cpp).
    uint32_t create(tMDF_FILE& desc);
    void input(uint16_t channel, uint8_t slot, ValueKind kind, uint64_t bits, double number);
    void idle();
    uint32_t save(const std::string& path);
    void discardCreation();

    // What the last create, save or open that failed on a file says of it.
    const tMDF_FILE_ERROR& fileError() const { return m_fileError; }

    // Reading (mdfread.cpp).
    uint32_t open(const std::string& path);
    void close();
    const tMDF_FILE& openedFile() const { return m_file; }
    // Resolves a channel and record: 0 and the record's first byte, or the error code.
    uint32_t locate(uint16_t channel, uint32_t record, const MdfReadChannel*& ch, const uint8_t*& rec) const {
        if (!m_data) return MDF_ERR_NO_DATA;
        if (channel >= m_readChannelCount) return MDF_ERR_CHANNEL;
        const MdfReadChannel& c = m_readChannels[channel];
        if (record >= c.count) return MDF_ERR_RECORD_INDEX;
        ch = &c;
        rec = m_data + (c.offsets ? c.offsets[record] : c.baseOffset + record * c.stride);
        return MDF_OK;
    }

    // Physical value of a record: from the channel's decoded column when it holds the record, else through
    // physicalSlow, which checks channel and record and decodes the run of records around it.
    uint32_t physical(uint16_t channel, uint32_t record, double& out) const {
        if (channel < m_readChannelCount) {  // as many columns as channels
            const MdfColumn& col = m_columns[channel];
            const uint32_t i = record - col.first;
            if (i < col.size) {
                if (col.codes && col.codes[i] != MDF_OK) return col.codes[i];
                out = col.values[i];
                return MDF_OK;
            }
        }
        return physicalSlow(channel, record, out);
    }

    // Physical values of records first .. first + count - 1, decoded straight into `out` (the bulk read).
    uint32_t physicalRange(uint16_t channel, uint32_t first, uint32_t count, double* out) const;

    // Parses a file image already in memory (the mapping, or a test's bytes); fills the description and the
    // channel table. Exposed for the fuzz target.
    uint32_t parse(const uint8_t* data, uint64_t size);

private:
    // `bounds`: the address of every block the parser met.
    void buildReadIndex(const std::vector<uint32_t>& dataLinks, std::vector<uint64_t> bounds);
    uint32_t physicalSlow(uint16_t channel, uint32_t record, double& out) const;  // mdfvalue.cpp
    const uint8_t* recordWindow(MdfGroupRuns& group, uint32_t first) const;
    void decodeRecords(const MdfReadChannel& ch, uint32_t first, uint32_t n, double* out,
                       uint8_t* codes) const;

    MdfIdentity m_identity;
    tMDF_FILE m_file;  // the file being created, or the opened file

    // creation
    std::vector<MdfDataGroup> m_dataGroups;
    std::vector<MdfChannelGroup> m_groups;  // flat, data group by data group
    std::vector<MdfChannel> m_channels;     // by channel number
    std::unique_ptr<MdfSpillFile> m_spill;
    tMDF_FILE_ERROR m_fileError;

    // reading
    const uint8_t* m_data = nullptr;
    uint64_t m_size = 0;
    void* m_mapping = nullptr;
    size_t m_mappingSize = 0;
    std::vector<MdfReadChannel> m_readChannels;  // by channel number
    uint32_t m_readChannelCount = 0;
    std::vector<std::vector<uint32_t>> m_recordIndex;  // mixed groups: record offsets per channel group
    // The column cache: one decoded run per channel and a few record windows per channel group, allocated
    // on the group's first read. Runs and windows are shorter the more channels and groups the file has, so
    // that the cache stays within 16 MiB of values and 32 MiB of records.
    mutable std::vector<MdfColumn> m_columns;  // by channel number
    mutable std::vector<MdfGroupRuns> m_runs;  // by channel group, over all data groups
    // The opened file, kept open while it is: record windows are read with pread, which costs far less than
    // first touching every page of the mapping (the mapping serves the block tree and single raw values).
    int m_fd = -1;
    mutable uint64_t m_windowUses = 0;
};

// The identification block, header and block tree of a file whose data groups hold `dataBytes` bytes of
// records each (data blocks follow the header in that order). False when the file would exceed 4 GiB.
struct MdfFilePlan {
    std::vector<uint8_t> header;
    std::vector<uint8_t> tree;
    uint64_t total = 0;
};
bool planFile(const MdfIdentity& id, const tMDF_FILE& file, const std::vector<uint64_t>& dataBytes,
              MdfFilePlan& plan);

// Value extraction and conversion (mdfvalue.cpp; the common cases inline, as every value read takes them).
uint64_t extractBitsSlow(const MdfReadChannel& ch, const uint8_t* record);
uint32_t convertToPhysical(const tMDF_CN_INFO& cn, double raw, double& phys);
// The decoder of a channel's runs of records; null when its values must be read one by one.
MdfColumnDecoder columnDecoder(const MdfReadChannel& ch);

inline uint64_t loadLittle64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline uint64_t loadBig64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// The channel's bits in a record, assembled from bit 0 upwards (ch.readable must hold).
inline uint64_t extractBits(const MdfReadChannel& ch, const uint8_t* record) {
    switch (ch.load) {
        case BitLoad::WordLittle:
            return (loadLittle64(record + ch.loadByte) >> ch.loadShift) & ch.mask;
        case BitLoad::WordBig:
            return (loadBig64(record + ch.loadByte) >> ch.loadShift) & ch.mask;
        default:
            return extractBitsSlow(ch, record);
    }
}

// The raw value of a channel as a double; false when its data type and width are none of the four.
inline bool rawAsDouble(const MdfReadChannel& ch, uint64_t bits, double& raw) {
    switch (ch.dataType) {
        case MDF_UINT:
            raw = static_cast<double>(bits);
            return true;
        case MDF_SINT: {
            if (ch.bitCount == 0 || ch.bitCount >= 64) {
                raw = static_cast<double>(static_cast<int64_t>(bits));
                return true;
            }
            const uint64_t sign = uint64_t{1} << (ch.bitCount - 1);
            raw = static_cast<double>(static_cast<int64_t>((bits ^ sign) - sign));
            return true;
        }
        case MDF_FLOAT: {
            if (ch.bitCount != 32) return false;
            const uint32_t u = static_cast<uint32_t>(bits);
            float f;
            std::memcpy(&f, &u, sizeof f);
            raw = f;
            return true;
        }
        case MDF_DOUBLE:
            if (ch.bitCount != 64) return false;
            std::memcpy(&raw, &bits, sizeof raw);
            return true;
        default:
            return false;
    }
}

inline uint32_t toPhysical(const MdfReadChannel& ch, double raw, double& phys) {
    switch (ch.conv) {
        case MdfReadChannel::Conv::None:
            phys = raw;
            return MDF_OK;
        case MdfReadChannel::Conv::Linear:
            phys = raw * ch.factor + ch.offset;
            return MDF_OK;
        default:
            return convertToPhysical(*ch.info, raw, phys);
    }
}

}  // namespace lorimar
