// Creation side of the file image: the description becomes a block tree with assigned start bits and
// channel numbers; values are assembled into records in 256 slots per channel group; completed records go
// to the data group's record store; the save writes identification block, header, data blocks and block tree
// to a new file that replaces the target only when complete.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "mdf/mdfformat.h"
#include "mdf/mdfimage.h"
#include "platform/numconv.h"
#include "platform/util/filewrite.h"

namespace lorimar {

namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;
constexpr uint32_t kMaxChannels = 65536;

// Parameters a conversion of the given type writes.
unsigned paramCount(uint16_t type) {
    switch (type) {
        case MDF_CONV_LINEAR:
            return 2;
        case MDF_CONV_POLYNOMIAL:
        case MDF_CONV_RATIONAL:
            return 6;
        case MDF_CONV_EXPONENTIAL:
        case MDF_CONV_LOGARITHMIC:
            return 7;
        default:
            return 0;
    }
}

// Size of the conversion block and its size-information field; false when the block would exceed 16 bits.
bool conversionSize(const tMDF_CN_INFO& cn, uint16_t& blockSize, uint16_t& sizeInfo) {
    uint64_t entries = 0, entrySize = 0;
    switch (cn.convType) {
        case MDF_CONV_TAB_INTERP:
        case MDF_CONV_TAB:
            entries = cn.valuePairs.size();
            entrySize = kValuePairEntry;
            break;
        case MDF_CONV_TEXT_TABLE:
            entries = cn.textTable.size();
            entrySize = kTextTableEntry;
            break;
        case MDF_CONV_TEXT_RANGE:
            entries = cn.rangeTable.size();
            entrySize = kRangeTableEntry;
            break;
        default:
            entries = paramCount(cn.convType);
            entrySize = 8;
            break;
    }
    const uint64_t size = kCcMinSize + entries * entrySize;
    if (size > 0xFFFF) return false;
    blockSize = static_cast<uint16_t>(size);
    sizeInfo = static_cast<uint16_t>(entries);
    return true;
}

// Assigns start bits within one channel group: floating-point channels start on a byte; in a big-endian file
// a channel that spans more than one byte also starts and ends on a byte, since its bytes are read in reverse
// order and would otherwise share bits with its neighbours. False when the layout exceeds the 16-bit fields.
bool layoutGroup(const tMDF_CG_INFO& cg, bool big, std::vector<uint16_t>& startBits, uint16_t& recordSize) {
    uint64_t pos = 0;
    startBits.clear();
    for (const tMDF_CN_INFO& cn : cg.channels) {
        const bool wide = (pos % 8) + cn.bitCount > 8;
        if (cn.dataType == MDF_FLOAT || cn.dataType == MDF_DOUBLE || (big && wide)) pos = (pos + 7) / 8 * 8;
        if (pos > 0xFFFF) return false;
        startBits.push_back(static_cast<uint16_t>(pos));
        pos += cn.bitCount;
        if (big && wide) pos = (pos + 7) / 8 * 8;
    }
    const uint64_t bytes = (pos + 7) / 8;
    if (bytes > 0xFFFF) return false;
    recordSize = static_cast<uint16_t>(bytes);
    return true;
}

bool channelFits(const tMDF_CN_INFO& cn) {
    switch (cn.dataType) {
        case MDF_UINT:
        case MDF_SINT:
            break;
        case MDF_FLOAT:
            if (cn.bitCount != 32) return false;
            break;
        case MDF_DOUBLE:
            if (cn.bitCount != 64) return false;
            break;
        default:
            return false;
    }
    if (cn.bitCount > 64) return false;
    uint16_t blockSize, sizeInfo;
    if (cn.convPresent && !conversionSize(cn, blockSize, sizeInfo)) return false;
    if (cn.extPresent && cn.extType != 2 && cn.extType != 19) return false;
    return true;
}

uint32_t validate(const tMDF_FILE& desc) {
    for (const tMDF_DG_INFO& dg : desc.dataGroups)
        if (dg.channelGroups.size() > 1 && dg.recordIdCount == 0) return MDF_ERR_MIXED_NO_RECORD_ID;
    if (desc.dataGroups.size() > 0xFFFF) return MDF_ERR_DESCRIPTION;
    uint64_t channels = 0;
    std::vector<uint16_t> bits;
    for (const tMDF_DG_INFO& dg : desc.dataGroups) {
        if (dg.recordIdCount > 2 || dg.channelGroups.size() > 0xFFFF) return MDF_ERR_DESCRIPTION;
        // The identifier before a record is one byte: at most 256 groups can be told apart.
        if (dg.recordIdCount > 0 && dg.channelGroups.size() > 256) return MDF_ERR_DESCRIPTION;
        for (const tMDF_CG_INFO& cg : dg.channelGroups) {
            if (cg.channels.size() > 0xFFFF) return MDF_ERR_DESCRIPTION;
            channels += cg.channels.size();
            for (const tMDF_CN_INFO& cn : cg.channels)
                if (!channelFits(cn)) return MDF_ERR_DESCRIPTION;
            uint16_t recordSize;
            if (!layoutGroup(cg, desc.byteOrder != 0, bits, recordSize)) return MDF_ERR_DESCRIPTION;
        }
    }
    return channels > kMaxChannels ? MDF_ERR_DESCRIPTION : MDF_OK;
}

// Writes `count` bits of `value` at bit `start` of a record: little-endian files fill bytes upward from the
// start byte; big-endian files fill the covered bytes from the last one down, so that reading them in reverse
// order gives the value back.
void placeBits(uint8_t* record, uint32_t start, uint32_t count, uint64_t value, bool big) {
    if (count == 0) return;
    uint32_t index = big ? (start + count - 1) / 8 : start / 8;
    uint32_t offset = start % 8;
    while (count > 0) {
        const uint32_t n = std::min<uint32_t>(8 - offset, count);
        const uint8_t mask = static_cast<uint8_t>(((1u << n) - 1u) << offset);
        record[index] =
            static_cast<uint8_t>((record[index] & ~mask) | ((static_cast<uint32_t>(value) << offset) & mask));
        value = n < 64 ? value >> n : 0;
        count -= n;
        offset = 0;
        big ? --index : ++index;
    }
}

uint64_t lowBits(uint64_t v, uint32_t count) {
    return count >= 64 ? v : v & ((uint64_t{1} << count) - 1);
}

// A signed field: the low count - 1 bits of the value and the sign in the top bit.
uint64_t signedField(int64_t v, uint32_t count) {
    if (count == 0) return 0;
    uint64_t field = lowBits(static_cast<uint64_t>(v), count - 1);
    if (v < 0) field |= uint64_t{1} << (count - 1);
    return field;
}

int64_t clampToSigned(double v, uint32_t count) {
    const int64_t n = vex::SaturateTrunc<int64_t>(v);
    if (count == 0 || count >= 64) return n;
    const int64_t hi = (int64_t{1} << (count - 1)) - 1;
    return std::clamp(n, -hi - 1, hi);
}

uint64_t clampToUnsigned(double v, uint32_t count) {
    const uint64_t n = vex::SaturateTrunc<uint64_t>(v);
    return count >= 64 ? n : std::min(n, (uint64_t{1} << count) - 1);
}

// The number a reader gets back from a channel's field: what the channel's range describes.
double storedValue(const MdfChannel& ch, uint64_t field) {
    switch (ch.dataType) {
        case MDF_UINT:
            return static_cast<double>(field);
        case MDF_SINT: {
            if (ch.bitCount == 0 || ch.bitCount >= 64)
                return static_cast<double>(static_cast<int64_t>(field));
            const uint64_t sign = uint64_t{1} << (ch.bitCount - 1);
            return static_cast<double>(static_cast<int64_t>((field ^ sign) - sign));
        }
        case MDF_FLOAT: {
            const uint32_t u = static_cast<uint32_t>(field);
            float f;
            std::memcpy(&f, &u, sizeof f);
            return f;
        }
        default: {
            double d;
            std::memcpy(&d, &field, sizeof d);
            return d;
        }
    }
}

float toSingle(double v) {
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
        return v > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// The field bits for a value given through one of the four overloads, converted to the channel's type, so
// that a reader gets back the number given whenever the channel can hold it: the bits of a single or double
// read as an integer field (or an integer's bits read as a float) would be another number altogether.
uint64_t fieldBits(const MdfChannel& ch, ValueKind kind, uint64_t bits, double number) {
    switch (ch.dataType) {
        case MDF_UINT:
            // Two's complement low bits, not sign-and-low-bits: an int 200 into 8 unsigned bits stays 200
            // (sign-and-low-bits would store 72); a negative value wraps (-200 gives 0x38).
            if (kind == ValueKind::Unsigned || kind == ValueKind::Signed) return lowBits(bits, ch.bitCount);
            return clampToUnsigned(number, ch.bitCount);
        case MDF_SINT:
            if (kind == ValueKind::Unsigned) return lowBits(bits, ch.bitCount);
            if (kind == ValueKind::Signed) return signedField(static_cast<int64_t>(bits), ch.bitCount);
            return lowBits(static_cast<uint64_t>(clampToSigned(number, ch.bitCount)), ch.bitCount);
        case MDF_FLOAT: {
            const float f = toSingle(number);
            uint32_t u;
            std::memcpy(&u, &f, sizeof u);
            return u;
        }
        default: {
            uint64_t u;
            std::memcpy(&u, &number, sizeof u);
            return u;
        }
    }
}

// Serialises the header and the block tree of a description.
class TreeWriter {
public:
    TreeWriter(const MdfIdentity& id, const tMDF_FILE& file)
        : m_id(id), m_file(file), m_big(file.byteOrder != 0) {}

    // The block tree at file position `base`, with each data group's data link taken from `dataLinks`.
    void writeTree(uint64_t base, const std::vector<uint64_t>& dataLinks) {
        m_base = base;
        m_out.clear();
        uint64_t prevDg = 0;
        for (size_t d = 0; d < m_file.dataGroups.size(); ++d) {
            const tMDF_DG_INFO& dg = m_file.dataGroups[d];
            const size_t dgAt = alloc(kDgSize, "DG");
            link(dgAt + 4, prevDg);
            link(dgAt + 16, dataLinks[d]);
            put16(&m_out[dgAt + 20], static_cast<uint16_t>(dg.channelGroups.size()), m_big);
            put16(&m_out[dgAt + 22], dg.recordIdCount, m_big);
            uint64_t prevCg = 0;
            for (const tMDF_CG_INFO& cg : dg.channelGroups) {
                const size_t cgAt = alloc(kCgSize, "CG");
                link(cgAt + 4, prevCg);
                put16(&m_out[cgAt + 16], cg.recordId, m_big);
                put16(&m_out[cgAt + 18], static_cast<uint16_t>(cg.channels.size()), m_big);
                put16(&m_out[cgAt + 20], cg.recordSize, m_big);
                put32(&m_out[cgAt + 22], cg.recordCount, m_big);
                uint64_t prevCn = 0;
                for (const tMDF_CN_INFO& cn : cg.channels) {
                    const size_t cnAt = writeChannel(cn);
                    link(cnAt + 4, prevCn);
                    prevCn = position(cnAt);
                }
                link(cgAt + 8, prevCn);
                link(cgAt + 12, writeText(cg.comment));
                prevCg = position(cgAt);
            }
            link(dgAt + 8, prevCg);
            prevDg = position(dgAt);
        }
        m_firstDg = prevDg;
        m_comment = writeText(m_file.comment);
        m_program = writeProgram();
    }

    // Identification block and header, given the tree written last.
    std::vector<uint8_t> header() const {
        const uint16_t hdSize = writtenHeaderSize(m_id);
        std::vector<uint8_t> h(kIdSize + hdSize, 0);
        std::memcpy(&h[0], m_id.fileId.data(), 8);
        std::memcpy(&h[32], m_id.reserved.data(), m_id.reserved.size());
        putText(&h[8], kIdField, m_file.formatId, false);
        putText(&h[16], kIdField, m_file.programId, false);
        h[24] = 0;
        h[25] = m_big ? 1 : 0;
        put16(&h[26], m_id.floatFormat, m_big);
        put16(&h[28], m_id.version, m_big);
        put16(&h[30], m_id.codePage, m_big);
        uint8_t* hd = &h[kIdSize];
        hd[0] = 'H';
        hd[1] = 'D';
        put16(hd + 2, hdSize, m_big);
        put32(hd + 4, static_cast<uint32_t>(m_firstDg), m_big);
        put32(hd + 8, static_cast<uint32_t>(m_comment), m_big);
        put32(hd + 12, static_cast<uint32_t>(m_program), m_big);
        put16(hd + 16, static_cast<uint16_t>(m_file.dataGroups.size()), m_big);
        putText(hd + 18, kDateField, m_file.date, false);
        putText(hd + 28, kTimeField, m_file.time, false);
        putText(hd + 36, kNameField, m_file.author);
        putText(hd + 68, kNameField, m_file.organisation);
        putText(hd + 100, kNameField, m_file.project);
        putText(hd + 132, kNameField, m_file.subject);
        if (hdSize >= kHdLongSize) {
            put64(hd + 164, m_id.timeStamp, m_big);
            put16(hd + 172, static_cast<uint16_t>(m_id.utcOffset), m_big);
            put16(hd + 174, m_id.timeQuality, m_big);
            putText(hd + 176, kNameField, m_id.timerId);
        }
        return h;
    }

    const std::vector<uint8_t>& tree() const { return m_out; }
    std::vector<uint8_t> takeTree() { return std::move(m_out); }

private:
    uint64_t position(size_t at) const { return m_base + at; }

    size_t alloc(size_t size, const char* id) {
        const size_t at = m_out.size();
        m_out.resize(at + size, 0);
        m_out[at] = static_cast<uint8_t>(id[0]);
        m_out[at + 1] = static_cast<uint8_t>(id[1]);
        put16(&m_out[at + 2], static_cast<uint16_t>(size), m_big);
        return at;
    }

    // Positions beyond 32 bits only occur in a file that the save then refuses.
    void link(size_t at, uint64_t pos) { put32(&m_out[at], static_cast<uint32_t>(pos), m_big); }

    uint64_t writeText(const std::string& utf8) {
        const std::string gbk = toFileText(utf8, kMaxBlockText);
        if (gbk.empty()) return 0;
        const size_t at = alloc(gbk.size() + 5, "TX");
        std::memcpy(&m_out[at + 4], gbk.data(), gbk.size());
        return position(at);
    }

    uint64_t writeProgram() {
        const std::string gbk = toFileText(m_file.programId, kIdField);
        if (gbk.empty()) return 0;
        const size_t at = alloc(gbk.size() + 4, "PR");
        std::memcpy(&m_out[at + 4], gbk.data(), gbk.size());
        return position(at);
    }

    size_t writeChannel(const tMDF_CN_INFO& cn) {
        const size_t at = alloc(kCnSize, "CN");
        put16(&m_out[at + 24], cn.channelType, m_big);
        putText(&m_out[at + 26], kNameField, cn.shortName);
        putText(&m_out[at + 58], kDescField, cn.description);
        put16(&m_out[at + 186], cn.startBit, m_big);
        put16(&m_out[at + 188], cn.bitCount, m_big);
        put16(&m_out[at + 190], cn.dataType, m_big);
        put16(&m_out[at + 192], cn.rangeValid, m_big);
        putReal(&m_out[at + 194], cn.minimum);
        putReal(&m_out[at + 202], cn.maximum);
        putReal(&m_out[at + 210], cn.samplingRate);
        put16(&m_out[at + 226], cn.byteOffset, m_big);
        if (cn.convPresent) link(at + 8, writeConversion(cn));
        if (cn.extPresent) link(at + 12, writeExtension(cn));
        link(at + 20, writeText(cn.comment));
        link(at + 218, writeText(cn.longName));
        link(at + 222, writeText(cn.displayName));
        return at;
    }

    uint64_t writeConversion(const tMDF_CN_INFO& cn) {
        uint16_t blockSize = kCcMinSize, sizeInfo = 0;
        conversionSize(cn, blockSize, sizeInfo);  // checked when the creation was validated
        const size_t at = alloc(blockSize, "CC");
        put16(&m_out[at + 4], cn.convRangeValid, m_big);
        putReal(&m_out[at + 6], cn.convMinimum);
        putReal(&m_out[at + 14], cn.convMaximum);
        putText(&m_out[at + 22], kUnitField, cn.unit);
        put16(&m_out[at + 42], cn.convType, m_big);
        put16(&m_out[at + 44], sizeInfo, m_big);
        size_t p = at + kCcMinSize;
        switch (cn.convType) {
            case MDF_CONV_TAB_INTERP:
            case MDF_CONV_TAB:
                for (const tMDF_CN_VALUE_PAIR& v : cn.valuePairs) {
                    putReal(&m_out[p], v.raw);
                    putReal(&m_out[p + 8], v.phys);
                    p += kValuePairEntry;
                }
                break;
            case MDF_CONV_TEXT_TABLE:
                for (const tMDF_CN_TEXT_ITEM& t : cn.textTable) {
                    putReal(&m_out[p], t.value);
                    putText(&m_out[p + 8], kNameField, t.text);
                    p += kTextTableEntry;
                }
                break;
            case MDF_CONV_TEXT_RANGE:
                // Each range's text is a text block of its own, right after the conversion block.
                for (const tMDF_CN_RANGE_ITEM& r : cn.rangeTable) {
                    putReal(&m_out[p], r.lower);
                    putReal(&m_out[p + 8], r.upper);
                    link(p + 16, writeText(r.text));
                    p += kRangeTableEntry;
                }
                break;
            default:
                for (unsigned i = 0; i < sizeInfo; ++i) putReal(&m_out[p + 8 * i], cn.params[i]);
                break;
        }
        return position(at);
    }

    uint64_t writeExtension(const tMDF_CN_INFO& cn) {
        if (cn.extType == 2) {
            const size_t at = alloc(kCeDimSize, "CE");
            put16(&m_out[at + 4], 2, m_big);
            put16(&m_out[at + 6], cn.moduleNumber, m_big);
            put32(&m_out[at + 8], cn.address, m_big);
            putText(&m_out[at + 12], kCeDescField, cn.extDescription);
            putText(&m_out[at + 92], kNameField, cn.ecuId);
            return position(at);
        }
        const size_t at = alloc(kCeCanSize, "CE");
        put16(&m_out[at + 4], 19, m_big);
        put32(&m_out[at + 6], cn.canId, m_big);
        put32(&m_out[at + 10], cn.canChannel, m_big);
        putText(&m_out[at + 14], kCanNameField, cn.messageName);
        putText(&m_out[at + 50], kCanNameField, cn.senderName);
        return position(at);
    }

    const MdfIdentity& m_id;
    const tMDF_FILE& m_file;
    const bool m_big;
    uint64_t m_base = 0;
    std::vector<uint8_t> m_out;
    uint64_t m_firstDg = 0, m_comment = 0, m_program = 0;
};

// Writes the file through the platform's atomic writer: the target is replaced only when complete. On
// failure, which side failed (the target, or reading back the record store) and the errno.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& header,
                         const std::vector<MdfDataGroup>& groups, const MdfSpillFile& spill,
                         const std::vector<uint8_t>& tree, IoFailure& failure) {
    vex::AtomicFile file;
    if (const int error = file.Open(path); error != 0) {
        failure = {false, error};
        return false;
    }
    file.Write(header.data(), header.size());
    for (const MdfDataGroup& g : groups) {
        IoFailure copy;
        if (file.Error() != 0 || g.store.copyTo(file.Fd(), spill, copy)) continue;
        if (copy.temporary) {
            failure = copy;
            return false;
        }
        file.Fail(copy.error);
    }
    file.Write(tree.data(), tree.size());
    if (const int error = file.Commit(); error != 0) {
        failure = {false, error};
        return false;
    }
    return true;
}

}  // namespace

bool planFile(const MdfIdentity& id, const tMDF_FILE& file, const std::vector<uint64_t>& dataBytes,
              MdfFilePlan& plan) {
    uint64_t pos = kIdSize + writtenHeaderSize(id);
    std::vector<uint64_t> links;
    for (const uint64_t bytes : dataBytes) {
        links.push_back(pos);
        pos += bytes;
    }
    TreeWriter writer(id, file);
    writer.writeTree(pos, links);
    plan.total = pos + writer.tree().size();
    if (plan.total > kMaxFileSize) return false;
    plan.header = writer.header();
    plan.tree = writer.takeTree();
    return true;
}

uint32_t MdfFileImage::create(tMDF_FILE& desc) {
    close();
    discardCreation();
    if (const uint32_t rc = validate(desc); rc != MDF_OK) return rc;

    m_fileError = tMDF_FILE_ERROR();
    auto spill = std::make_unique<MdfSpillFile>();
    if (!spill->open(vex::TempFolder())) {
        m_fileError = {spill->folder(), true, ErrorText(spill->error())};
        return MDF_ERR_FILE;
    }
    m_spill = std::move(spill);

    const bool big = desc.byteOrder != 0;
    uint32_t number = 0;
    std::vector<uint16_t> startBits;
    for (size_t d = 0; d < desc.dataGroups.size(); ++d) {
        tMDF_DG_INFO& dg = desc.dataGroups[d];
        m_dataGroups.emplace_back().recordIdCount = static_cast<uint8_t>(dg.recordIdCount);
        for (size_t g = 0; g < dg.channelGroups.size(); ++g) {
            tMDF_CG_INFO& cg = dg.channelGroups[g];
            layoutGroup(cg, big, startBits, cg.recordSize);
            cg.recordId = static_cast<uint16_t>(g);
            MdfChannelGroup& group = m_groups.emplace_back();
            group.dataGroup = static_cast<uint32_t>(d);
            group.recordSize = cg.recordSize;
            group.channelCount = static_cast<uint16_t>(cg.channels.size());
            group.recordId = static_cast<uint8_t>(g);
            group.buffers.assign(size_t{256} * cg.recordSize, 0);
            group.filled.assign(size_t{256} * cg.channels.size(), 0);
            group.pending.assign(size_t{256} * cg.channels.size(), 0.0);
            group.firstChannel = number;
            for (size_t c = 0; c < cg.channels.size(); ++c) {
                tMDF_CN_INFO& cn = cg.channels[c];
                cn.startBit = startBits[c];
                cn.byteOffset = 0;
                cn.channelNumber = number++;
                MdfChannel& ch = m_channels.emplace_back();
                ch.group = static_cast<uint32_t>(m_groups.size() - 1);
                ch.index = static_cast<uint16_t>(c);
                ch.startBit = cn.startBit;
                ch.bitCount = cn.bitCount;
                ch.dataType = cn.dataType;
            }
        }
    }
    m_file = desc;
    for (tMDF_DG_INFO& dg : m_file.dataGroups)
        for (tMDF_CG_INFO& cg : dg.channelGroups) cg.recordCount = 0;

    return MDF_OK;
}

void MdfFileImage::input(uint16_t channel, uint8_t slot, ValueKind kind, uint64_t bits, double number) {
    if (channel >= m_channels.size()) return;
    MdfChannel& ch = m_channels[channel];
    MdfChannelGroup& g = m_groups[ch.group];
    uint8_t* record = g.buffers.data() + size_t{slot} * g.recordSize;
    const uint64_t field = fieldBits(ch, kind, bits, number);
    placeBits(record, ch.startBit, ch.bitCount, field, m_file.byteOrder != 0);
    g.pending[size_t{slot} * g.channelCount + ch.index] = storedValue(ch, field);
    g.idle[slot] = 0;
    uint8_t& flag = g.filled[size_t{slot} * g.channelCount + ch.index];
    if (!flag) {
        flag = 1;
        ++g.filledCount[slot];
    }
    if (g.filledCount[slot] < g.channelCount) return;

    std::memset(&g.filled[size_t{slot} * g.channelCount], 0, g.channelCount);
    g.filledCount[slot] = 0;
    ++g.recordCount;
    // The range covers the values of stored records only: a record dropped as stale leaves it as it was.
    const double* values = &g.pending[size_t{slot} * g.channelCount];
    for (uint16_t c = 0; c < g.channelCount; ++c) {
        MdfChannel& member = m_channels[g.firstChannel + c];
        const double v = values[c];
        if (std::isnan(v)) continue;
        if (!member.rangeSet) {
            member.rangeSet = true;
            member.minimum = member.maximum = v;
        } else {
            member.minimum = std::min(member.minimum, v);
            member.maximum = std::max(member.maximum, v);
        }
    }
    MdfDataGroup& dg = m_dataGroups[g.dataGroup];
    if (dg.recordIdCount > 0) dg.store.append(&g.recordId, 1, *m_spill);
    dg.store.append(record, g.recordSize, *m_spill);
    if (dg.recordIdCount > 1) dg.store.append(&g.recordId, 1, *m_spill);
}

void MdfFileImage::idle() {
    for (MdfChannelGroup& g : m_groups) {
        for (size_t s = 0; s < 256; ++s) {
            if (++g.idle[s] <= 9) continue;
            g.idle[s] = 0;
            if (g.filledCount[s] == 0) continue;
            std::memset(&g.filled[s * g.channelCount], 0, g.channelCount);
            g.filledCount[s] = 0;
        }
    }
}

uint32_t MdfFileImage::save(const std::string& path) {
    m_fileError = tMDF_FILE_ERROR();
    // The first failure names its file: the record store, or the target.
    auto failed = [&](bool temporary, int error) {
        if (m_fileError.reason.empty())
            m_fileError = {temporary && m_spill ? m_spill->folder() : path, temporary, ErrorText(error)};
        return false;
    };
    bool ok = m_spill != nullptr;
    if (ok && m_spill->failed()) ok = failed(true, m_spill->error());
    if (ok && (path.empty() || path.find('\0') != std::string::npos)) ok = failed(false, ENOENT);

    // Record counts and the ranges of the values received go into the tree.
    size_t flat = 0, number = 0;
    for (tMDF_DG_INFO& dg : m_file.dataGroups) {
        for (tMDF_CG_INFO& cg : dg.channelGroups) {
            const uint64_t count = m_groups[flat++].recordCount;
            if (ok && count > 0xFFFFFFFFu) ok = failed(false, EFBIG);
            cg.recordCount = static_cast<uint32_t>(count);
            for (tMDF_CN_INFO& cn : cg.channels) {
                const MdfChannel& ch = m_channels[number++];
                if (!ch.rangeSet) continue;
                cn.rangeValid = 1;
                cn.minimum = ch.minimum;
                cn.maximum = ch.maximum;
            }
        }
    }

    std::vector<uint64_t> dataBytes;
    for (const MdfDataGroup& dg : m_dataGroups) dataBytes.push_back(dg.store.bytes());
    MdfFilePlan plan;
    if (ok && !planFile(m_identity, m_file, dataBytes, plan)) ok = failed(false, EFBIG);
    IoFailure failure;
    if (ok && !writeFileAtomically(path, plan.header, m_dataGroups, *m_spill, plan.tree, failure))
        ok = failed(failure.temporary, failure.error);
    discardCreation();
    return ok ? MDF_OK : MDF_ERR_BUSY;
}

void MdfFileImage::discardCreation() {
    m_dataGroups.clear();
    m_groups.clear();
    m_channels.clear();
    m_spill.reset();
    m_file = tMDF_FILE();
}

}  // namespace lorimar
