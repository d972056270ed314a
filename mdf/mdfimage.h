#pragma once
// The file image behind a CLorimar: the description of the file being created or read, the channel-number
// table, the record slots and record stores of a creation, and the read-only mapping of an opened file.
#include <array>
#include <cstdint>
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
    std::array<uint8_t, 32> reserved{};
    uint16_t headerSize = 164;  // 164, or 208 with the long-header fields below
    uint64_t timeStamp = 0;
    int16_t utcOffset = 0;
    uint16_t timeQuality = 0;
    std::string timerId;  // GBK bytes
};

// Creation state of one channel group: 256 record slots.
struct MdfChannelGroup {
    uint32_t dataGroup = 0;
    uint16_t recordSize = 0;
    uint16_t channelCount = 0;
    uint8_t recordId = 0;
    uint64_t recordCount = 0;
    std::vector<uint8_t> buffers;  // 256 * recordSize
    std::vector<uint8_t> filled;   // 256 * channelCount flags
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

// A channel of the opened file, by channel number: everything a value read needs, resolved at open.
struct MdfReadChannel {
    const tMDF_CN_INFO* info = nullptr;
    uint64_t baseOffset = 0;            // file offset of record 0 (after its identifier)
    const uint32_t* offsets = nullptr;  // mixed data groups: offset of each record from the file start
    uint64_t stride = 0;                // single-group data groups: bytes from one record to the next
    uint32_t count = 0;                 // records the file holds
    uint32_t firstByte = 0;             // additional byte offset + start bit / 8
    uint16_t bitCount = 0;
    uint8_t byteCount = 0;  // bytes covered, at most 9
    uint8_t shift = 0;      // start bit % 8
    uint16_t dataType = 0;
    bool readable = false;  // the covered bytes lie inside the record
    bool big = false;       // big-endian file: the covered bytes are read last to first
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

    // Reading (mdfread.cpp).
    uint32_t open(const std::string& path);
    void close();
    const tMDF_FILE& openedFile() const { return m_file; }
    // Resolves a channel and record: 0 and the record's first byte, or the error code.
    uint32_t locate(uint16_t channel, uint32_t record, const MdfReadChannel*& ch, const uint8_t*& rec) const;

    // Parses a file image already in memory (the mapping, or a test's bytes); fills the description and the
    // channel table. Exposed for the fuzz target.
    uint32_t parse(const uint8_t* data, uint64_t size);

private:
    void buildReadIndex(const std::vector<uint32_t>& dataLinks);

    MdfIdentity m_identity;
    tMDF_FILE m_file;  // the file being created, or the opened file

    // creation
    std::vector<MdfDataGroup> m_dataGroups;
    std::vector<MdfChannelGroup> m_groups;  // flat, data group by data group
    std::vector<MdfChannel> m_channels;     // by channel number
    std::unique_ptr<MdfTempFolder> m_temp;
    std::unique_ptr<MdfSpillFile> m_spill;

    // reading
    const uint8_t* m_data = nullptr;
    uint64_t m_size = 0;
    void* m_mapping = nullptr;
    size_t m_mappingSize = 0;
    std::vector<MdfReadChannel> m_readChannels;        // by channel number
    std::vector<std::vector<uint32_t>> m_recordIndex;  // mixed groups: record offsets per channel group
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

// Value extraction and conversion (mdfvalue.cpp).
// The channel's bits in a record, assembled from bit 0 upwards (ch.readable must hold).
uint64_t extractBits(const MdfReadChannel& ch, const uint8_t* record);
// The raw value of a channel as a double; false when its data type and width are none of the four.
bool rawAsDouble(const MdfReadChannel& ch, uint64_t bits, double& raw);
uint32_t convertToPhysical(const tMDF_CN_INFO& cn, double raw, double& phys);

}  // namespace lorimar
