#pragma once
// Lorimar: writes ASAM MDF 3.00 measurement files from sampled channel values and reads MDF 3.x files
// channel by channel, raw or converted.
//
// Text in every record below is UTF-8; the files hold it in GBK (code page 936). Fixed-width file fields are
// cut at a character boundary when written (a name keeps at most 31 bytes of GBK and its terminator).
//
// One CLorimar object is used from one thread at a time; it creates or reads one file at a time.
//
// Where MDF 3 leaves a choice open, the files this library writes and the files it reads follow these:
// - REAL block fields (value ranges, sampling rate, conversion parameters and table points, trigger times)
//   are little-endian IEEE doubles whatever the byte-order flag; the flag orders integer fields and values.
// - A value in a big-endian record is the big-endian integer formed by the bytes it covers, shifted right by
//   its start bit mod 8.
// - A table without interpolation (MDF_CONV_TAB) gives the value of the point at or above the raw value:
//   a raw value equal to a point takes that point's value; below the first point the first point's value,
//   above the last point the last point's value.
// - Data-group blocks are written with 28 bytes, the reserved word at offset 24 included; blocks of 24 bytes
//   or more are read.
// - A created channel's range (rangeValid, minimum, maximum) is that of the values its stored records hold.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#define LORIMAR_API __attribute__((visibility("default")))

// Result codes of the CLorimar operations.
enum MdfResult : uint32_t {
    MDF_OK = 0,
    MDF_ERR_BUSY = 1,               // Create while open, Open while creating; SaveMdfFile: the save failed
    MDF_ERR_RECORD_INDEX = 2,       // record index not below the channel group's record count
    MDF_ERR_DATA_GROUP = 3,         // the channel's data group does not exist
    MDF_ERR_CHANNEL_GROUP = 4,      // the channel's group does not exist; Open: an extension type not 2 or 19
    MDF_ERR_CHANNEL = 5,            // no channel has this number
    MDF_ERR_NO_DATA = 6,            // no file data mapped
    MDF_ERR_DATA_TYPE = 7,          // the channel's data type or width does not suit the operation
    MDF_ERR_BLOCK = 8,              // Open: a link, block size or chain does not fit the file
    MDF_ERR_NOT_OPEN = 9,           // value read without an open file
    MDF_ERR_ALREADY_OPEN = 10,      // Open while a file is open
    MDF_ERR_CLOSE_NOT_OPEN = 11,    // Close without an open file
    MDF_ERR_ALREADY_CREATING = 12,  // Create while creating
    MDF_ERR_NOT_CREATING = 13,      // Save without Create
    MDF_ERR_FILE = 14,              // a file cannot be opened, mapped or created
    MDF_ERR_DESCRIPTION = 15,  // Create: the description does not fit the file format (see CreateMdfFile)
    MDF_ERR_MIXED_NO_RECORD_ID = 16,  // a data group with several channel groups but no record identifiers
    MDF_ERR_TOO_LARGE = 17,           // Open: the file or its channel count is too large
    MDF_ERR_CONVERSION = 18,          // GetChannelPhyData: the channel's conversion formula cannot be applied
};

// The most bytes of GBK that the writer keeps of a text block (comments, long and display names); a longer
// text is cut at a character boundary.
inline constexpr size_t kMdfMaxBlockText = 512;

// Data types of a channel.
enum : uint16_t { MDF_UINT = 0, MDF_SINT = 1, MDF_FLOAT = 2, MDF_DOUBLE = 3 };

// Conversion types.
enum : uint16_t {
    MDF_CONV_LINEAR = 0,       // raw * P2 + P1
    MDF_CONV_TAB_INTERP = 1,   // value pairs, interpolated
    MDF_CONV_TAB = 2,          // value pairs, not interpolated
    MDF_CONV_POLYNOMIAL = 6,   // P1..P6
    MDF_CONV_EXPONENTIAL = 7,  // P1..P7
    MDF_CONV_LOGARITHMIC = 8,  // P1..P7
    MDF_CONV_RATIONAL = 9,     // P1..P6
    MDF_CONV_FORMULA = 10,     // text formula: not evaluated
    MDF_CONV_TEXT_TABLE = 11,  // value to text
    MDF_CONV_TEXT_RANGE = 12,  // value range to text
    MDF_CONV_IDENTITY = 65535,
};

struct tMDF_CN_TEXT_ITEM {
    double value = 0.0;
    std::string text;  // at most 31 bytes in the file
};

struct tMDF_CN_RANGE_ITEM {
    double lower = 0.0;
    double upper = 0.0;
    std::string text;  // a text block of its own in the file
};

struct tMDF_CN_VALUE_PAIR {
    double raw = 0.0;
    double phys = 0.0;
};

// One channel.
struct tMDF_CN_INFO {
    uint16_t channelType = 0;  // 0 data, 1 time (master)
    std::string shortName;     // file field of 32 bytes
    std::string description;   // file field of 128 bytes
    uint16_t startBit = 0;     // Create: overwritten with the bit the library assigns
    uint16_t bitCount = 0;
    uint16_t dataType = MDF_UINT;
    uint16_t rangeValid = 0;
    double minimum = 0.0;
    double maximum = 0.0;
    double samplingRate = 0.0;
    std::string longName;  // text blocks; written cut to 512 bytes of GBK
    std::string displayName;
    std::string comment;
    uint16_t byteOffset = 0;  // additional byte offset; 0 on creation

    int32_t convPresent = 0;  // nonzero: the channel has a conversion block
    uint16_t convType = MDF_CONV_IDENTITY;
    uint16_t convRangeValid = 0;
    double convMinimum = 0.0;
    double convMaximum = 0.0;
    std::string unit;                              // file field of 20 bytes
    double params[7] = {0.0, 1.0, 0, 0, 0, 0, 0};  // P1..P7 (linear: P1 offset, P2 factor)
    std::vector<tMDF_CN_VALUE_PAIR> valuePairs;    // types 1 and 2
    std::vector<tMDF_CN_TEXT_ITEM> textTable;      // type 11
    std::vector<tMDF_CN_RANGE_ITEM> rangeTable;    // type 12

    int32_t extPresent = 0;  // nonzero: the channel has an extension block
    uint16_t extType = 0;    // 2 device-dependent, 19 CAN
    uint16_t moduleNumber = 0;
    uint32_t address = 0;
    std::string extDescription;  // 80 bytes
    std::string ecuId;           // 32 bytes
    uint32_t canId = 0;
    uint32_t canChannel = 0;
    std::string messageName;  // 36 bytes
    std::string senderName;   // 36 bytes

    uint32_t channelNumber = 0;  // file-wide number assigned by CreateMdfFile / OpenMdfFile (0..65535)
};

// One channel group.
struct tMDF_CG_INFO {
    std::string comment;
    uint16_t recordId = 0;     // filled on reading; on creation the group's position in its data group
    uint16_t recordSize = 0;   // bytes; filled on reading and by CreateMdfFile
    uint32_t recordCount = 0;  // filled on reading: the complete records the file holds
    // Filled on reading: the count the group's block declares. Above recordCount in a damaged file (a
    // damaged count, a file cut short); the records the file holds are read all the same.
    uint32_t declaredRecordCount = 0;
    std::vector<tMDF_CN_INFO> channels;
};

// One data group.
struct tMDF_DG_INFO {
    uint16_t recordIdCount = 0;  // 0, 1 or 2 identifier bytes around each record
    std::vector<tMDF_CG_INFO> channelGroups;
};

// Description of a whole file: filled by the caller for CreateMdfFile, by OpenMdfFile for reading.
struct tMDF_FILE {
    std::vector<tMDF_DG_INFO> dataGroups;
    std::string fileId;     // "MDF     " in files; not used on creation
    std::string formatId;   // "3.00"
    std::string programId;  // at most 8 bytes; also the program block's content
    int16_t byteOrder = 0;  // 0 little-endian, nonzero big-endian
    int16_t floatFormat = 0;
    uint16_t version = 0;
    std::string comment;  // the file comment text block
    std::string date;     // "DD:MM:YYYY", 10 bytes in the file
    std::string time;     // "HH:MM:SS", 8 bytes
    std::string author;   // 32 bytes each
    std::string organisation;
    std::string project;
    std::string subject;
};

// Why a file operation failed, for the caller to tell the user: the file and the system's reason.
struct tMDF_FILE_ERROR {
    std::string path;             // the target or the opened file; for the record store, its folder
    bool temporaryStore = false;  // the private temporary store of the records of a file being created
    std::string reason;           // the system's text ("No space left on device", "Not a regular file")
};

namespace lorimar {
class MdfFileImage;
}

class LORIMAR_API CLorimar {
public:
    CLorimar();
    virtual ~CLorimar();
    CLorimar(const CLorimar&) = delete;
    CLorimar& operator=(const CLorimar&) = delete;

    // Builds the block tree and starts collecting records. Numbers the channels 0, 1, 2 ... in description
    // order and writes each channel's number, start bit and byte offset, and each group's record size, back
    // into `desc`. 1 while a file is open, 12 while creating; 16 for a data group with several channel groups
    // and no record identifiers; 15 when the description does not fit the format (more than 65,536 channels,
    // record identifiers other than 0..2 or more than 256 groups with identifiers, a record over 65,535
    // bytes, an integer channel over 64 bits, a single not 32 or a double not 64 bits wide, a data type other
    // than 0..3, an extension type other than 2 or 19, a conversion table too large for its block);
    // 14 when the private temporary record store (an unnamed file in $TMPDIR, else /tmp) cannot be made. On
    // failure the object stays idle and `desc` is unchanged.
    uint32_t CreateMdfFile(tMDF_FILE& desc);

    // Puts a value into the record being assembled in `slot` of the channel's group; the record is stored
    // once every channel of the group has a value in that slot. The value is converted to the channel's data
    // type; a signed channel keeps the low bits and the sign in its top bit. Ignored unless creating, and for
    // numbers CreateMdfFile did not assign.
    void InputSamplingData(uint16_t channel, uint8_t slot, uint32_t value);
    void InputSamplingData(uint16_t channel, uint8_t slot, int32_t value);
    void InputSamplingData(uint16_t channel, uint8_t slot, float value);
    void InputSamplingData(uint16_t channel, uint8_t slot, double value);

    // Drops partial records whose slot got no value for ten calls.
    void OnSamplingTimeIdle();

    // Ends the creation and writes the file at `path` (`length` bytes, no terminator needed). The target is
    // replaced only once the whole file has been written. 13 when not creating; 1 when the file cannot be
    // written, would exceed 4 GiB, or a temporary record byte was lost. Temporary files are removed either
    // way.
    uint32_t SaveMdfFile(const char* path, int32_t length);

    // Where and why the last CreateMdfFile, SaveMdfFile or OpenMdfFile failed on a file (14, or 1 from a
    // save); an empty reason after a success or a failure of another kind.
    const tMDF_FILE_ERROR& LastFileError() const;

    // Maps the file read-only and reads its description (GetMdfFileInfo). 1 while creating, 10 while open;
    // 14 cannot open or map (a device, FIFO or folder included); 17 too large (4,294,901,760 bytes or more,
    // or more than 65,536 channels or groups); 8 malformed; 4 an extension type other than 2 or 19; 16 a data
    // group with several channel groups and no record identifiers. On failure the object stays idle. Each
    // channel group reports the complete records the file holds (at most the count its block declares):
    // those that lie before the next block or data block of the file, or before its end, since MDF 3 data
    // blocks carry no length.
    uint32_t OpenMdfFile(const char* path, int32_t length);

    // Releases the file; 11 when none is open.
    uint32_t CloseMdfFile();

    // Raw value of record `record` (counted per channel group from 0). 9 not open; 5 no channel has this
    // number; 2 record index too large; 7 when the channel is not of the overload's type (unsigned or signed
    // integer of at most 32 bits, 32-bit single, 64-bit double) or lies outside its record. The output is
    // unchanged on failure.
    uint32_t GetChannelRawData(uint16_t channel, uint32_t record, uint32_t& value) const;
    uint32_t GetChannelRawData(uint16_t channel, uint32_t record, int32_t& value) const;
    uint32_t GetChannelRawData(uint16_t channel, uint32_t record, float& value) const;
    uint32_t GetChannelRawData(uint16_t channel, uint32_t record, double& value) const;

    // Physical value: the raw value (integers up to 64 bits) through the channel's conversion; text tables
    // and identity give the raw value. 18 when the conversion cannot be applied: a text formula, a type MDF 3
    // does not define, an exponential or logarithmic one whose parameters fit neither form, a table whose
    // points do not bracket the value in ascending order.
    uint32_t GetChannelPhyData(uint16_t channel, uint32_t record, double& value) const;
    // Physical values of `count` records from record `first` into values[0] .. values[count - 1], each as the
    // overload above gives it: the fast way to read a whole channel, or every channel run by run (runs of a
    // few thousand records read each channel group's records from the file once). 9, 6, 5 and 7 as for one
    // value; 2 when the records run past the group's record count. 18 when the conversion cannot be applied
    // to some values: those values are NaN, the others hold theirs. On any other failure `values` is
    // unchanged.
    uint32_t GetChannelPhyData(uint16_t channel, uint32_t first, uint32_t count, double* values) const;
    // Text of the value-to-text entry that holds the raw value. When the conversion is no text table or no
    // entry holds the value, `text` is left unchanged and the result is 0.
    uint32_t GetChannelPhyData(uint16_t channel, uint32_t record, std::string& text) const;

    // The description of the file last opened (stays after CloseMdfFile until the next successful open).
    const tMDF_FILE& GetMdfFileInfo() const { return m_mdfFile; }

private:
    tMDF_FILE m_mdfFile;
    bool m_creating = false;
    bool m_open = false;
    std::unique_ptr<lorimar::MdfFileImage> m_image;
};
