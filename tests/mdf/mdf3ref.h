#pragma once
// A minimal, independent MDF 3 reader and writer for the tests, written from the public MDF 3.x block
// layout. It shares no code with the library: files the library writes are checked with the reader, and the
// library is fed files the writer makes.
//
// Conventions: the identification block's byte-order field (offset 24) selects the order of every integer in
// blocks and records; REAL fields of blocks are little-endian IEEE doubles; a big-endian channel value is the
// big-endian integer formed by the bytes it covers, shifted right by (start bit mod 8). The reader is strict
// where the public layout is fixed: a data-group block must declare its full 28 bytes.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mdfref {

struct Conversion {
    uint16_t type = 0xFFFF;
    std::string unit;
    std::vector<double> params;
    std::vector<std::pair<double, double>> table;       // types 1, 2
    std::vector<std::pair<double, std::string>> texts;  // type 11
};

struct Channel {
    uint16_t channelType = 0;
    std::string name;
    std::string description;
    uint16_t startBit = 0;
    uint16_t bitCount = 0;
    uint16_t dataType = 0;
    uint16_t rangeValid = 0;
    double minimum = 0, maximum = 0, rate = 0;
    uint16_t byteOffset = 0;
    bool hasConversion = false;
    Conversion conv;
    std::string comment, longName, displayName;
};

struct ChannelGroup {
    uint16_t recordId = 0;
    uint16_t recordSize = 0;
    uint32_t recordCount = 0;
    std::string comment;
    std::vector<Channel> channels;
    std::vector<std::string> records;  // reader: the record bytes of this group, in file order
};

struct DataGroup {
    uint16_t idCount = 0;
    std::vector<ChannelGroup> groups;
    // writer: records in file order as (group index, record bytes)
    std::vector<std::pair<size_t, std::string>> records;
};

struct File {
    bool bigEndian = false;
    std::string formatId = "3.00";
    std::string programId = "mdfref";
    uint16_t version = 300;
    uint16_t headerSize = 164;
    uint16_t dataGroupSize = 28;  // writer: 24 leaves the reserved word out, as some writers do
    std::string date = "01:02:2024", time = "03:04:05";
    std::string author, organisation, project, subject, comment;
    std::vector<DataGroup> dataGroups;
};

// Parses a whole file; throws std::runtime_error when anything does not fit.
File read(const std::string& bytes);

// The channel's field in a record, bits as stored.
uint64_t field(bool bigEndian, const Channel& ch, const std::string& record);
// The field as a number of the channel's data type (0..3), no conversion.
double number(bool bigEndian, const Channel& ch, const std::string& record);

// Writes a file: blocks in forward chain order with each text block before its owner, data blocks last.
std::string write(const File& file);
// Stores a field into a record (the inverse of field()).
void putField(bool bigEndian, uint16_t startBit, uint16_t bitCount, uint64_t value, std::string& record);

}  // namespace mdfref
