// Reading side of the file image: maps a file read-only, reads its block tree into a description with every
// link, size, chain and count checked against the file, numbers the channels in chain order, and indexes
// where each channel group's records lie so that every value read is O(1).
//
// MDF 3 data blocks carry no length: a group's records are bounded by the count its block declares and by
// the file's own layout, the next block or data block the reader met after the group's data (or the file's
// end). A damaged count thus never reads the bytes of other blocks as records.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <unordered_set>

#include "mdf/mdfformat.h"
#include "mdf/mdfimage.h"
#include "platform/textcodec.h"
#include "platform/util/fileread.h"
#include "platform/util/filewrite.h"

namespace lorimar {

namespace {

// Files of 65,535 times a 64 KiB mapping granularity or more are refused.
constexpr uint64_t kMaxMappedSize = 65535ull * 65536ull;
// Channel numbers are 16 bits wide; groups are bounded the same way so that a hostile chain cannot make
// the description grow without bound.
constexpr size_t kMaxChannels = 65536;
constexpr size_t kMaxGroups = 65536;

class Parser {
public:
    Parser(const uint8_t* data, uint64_t size) : m_d(data), m_n(size) {}

    // Fills the description, the data-block link of each data group, and the address of every block met
    // (those it checked, and the trigger and program blocks that carry their identifier).
    uint32_t parse(tMDF_FILE& file, MdfIdentity& id, std::vector<uint32_t>& dataLinks,
                   std::vector<uint64_t>& blocks) {
        if (m_n < kIdSize) return MDF_ERR_BLOCK;
        m_big = (m_d[24] * 256 + m_d[25]) != 0;
        file.fileId = getText(m_d, kIdField);
        file.formatId = getText(m_d + 8, kIdField);
        file.programId = getText(m_d + 16, kIdField);
        file.byteOrder = static_cast<int16_t>(m_d[24] * 256 + m_d[25]);
        file.floatFormat = static_cast<int16_t>(get16(m_d + 26, m_big));
        file.version = get16(m_d + 28, m_big);
        std::copy(m_d, m_d + 8, id.fileId.begin());
        id.floatFormat = get16(m_d + 26, m_big);
        id.version = file.version;
        id.codePage = get16(m_d + 30, m_big);
        std::copy(m_d + 32, m_d + kIdSize, id.reserved.begin());

        uint16_t hdSize;
        if (!block(kIdSize, "HD", kHdSize, hdSize)) return MDF_ERR_BLOCK;
        const uint8_t* hd = m_d + kIdSize;
        file.date = getText(hd + 18, kDateField);
        file.time = getText(hd + 28, kTimeField);
        file.author = getText(hd + 36, kNameField);
        file.organisation = getText(hd + 68, kNameField);
        file.project = getText(hd + 100, kNameField);
        file.subject = getText(hd + 132, kNameField);
        id.headerSize = hdSize;
        if (hdSize >= kHdLongSize) {
            id.timeStamp = get64(hd + 164, m_big);
            id.utcOffset = static_cast<int16_t>(get16(hd + 172, m_big));
            id.timeQuality = get16(hd + 174, m_big);
            id.timerId = getText(hd + 176, kNameField);
        } else {
            id.timeStamp = 0;
            id.utcOffset = 0;
            id.timeQuality = 0;
            id.timerId.clear();
        }

        std::unordered_set<uint32_t> seen;
        size_t groups = 0, channels = 0;
        for (uint32_t dgLink = get32(hd + 4, m_big); dgLink != 0;) {
            uint16_t size;
            if (!seen.insert(dgLink).second || !block(dgLink, "DG", kDgMinSize, size)) return MDF_ERR_BLOCK;
            if (file.dataGroups.size() >= 0xFFFF) return MDF_ERR_TOO_LARGE;
            const uint8_t* b = m_d + dgLink;
            tMDF_DG_INFO& dg = file.dataGroups.emplace_back();
            dataLinks.push_back(get32(b + 16, m_big));
            meet(get32(b + 12, m_big), "TR");
            const uint16_t ids = get16(b + 22, m_big);
            if (ids > 2) return MDF_ERR_BLOCK;
            dg.recordIdCount = ids;
            std::unordered_set<uint32_t> seenCg;
            for (uint32_t cgLink = get32(b + 8, m_big); cgLink != 0;) {
                if (!seenCg.insert(cgLink).second || !block(cgLink, "CG", kCgSize, size))
                    return MDF_ERR_BLOCK;
                if (++groups > kMaxGroups) return MDF_ERR_TOO_LARGE;
                const uint8_t* g = m_d + cgLink;
                tMDF_CG_INFO& cg = dg.channelGroups.emplace_back();
                cg.recordId = get16(g + 16, m_big);
                cg.recordSize = get16(g + 20, m_big);
                cg.recordCount = cg.declaredRecordCount = get32(g + 22, m_big);
                std::unordered_set<uint32_t> seenCn;
                for (uint32_t cnLink = get32(g + 8, m_big); cnLink != 0;) {
                    if (!seenCn.insert(cnLink).second) return MDF_ERR_BLOCK;
                    if (++channels > kMaxChannels) return MDF_ERR_TOO_LARGE;
                    if (const uint32_t rc = channel(cnLink, cg.channels.emplace_back()); rc != MDF_OK)
                        return rc;
                    cnLink = get32(m_d + cnLink + 4, m_big);
                }
                if (const uint32_t rc = text(get32(g + 12, m_big), cg.comment); rc != MDF_OK) return rc;
                cgLink = get32(g + 4, m_big);
            }
            if (dg.channelGroups.size() > 1 && ids == 0) return MDF_ERR_MIXED_NO_RECORD_ID;
            dgLink = get32(b + 4, m_big);
        }
        // The file comment is optional decoration: a wrong link there does not refuse the file.
        const uint32_t rc = text(get32(hd + 8, m_big), file.comment);
        if (rc == MDF_ERR_TOO_LARGE) return rc;
        if (rc != MDF_OK) file.comment.clear();
        meet(get32(hd + 12, m_big), "PR");
        blocks = std::move(m_blocks);
        return MDF_OK;
    }

private:
    // Counts what the description copies out of the file. Blocks that many channels share (texts, tables)
    // could otherwise multiply a small file into a huge description; beyond 256 MiB plus four times the file
    // size the file is refused as too large.
    bool spend(uint64_t bytes) {
        m_budget += bytes;
        return m_budget <= (uint64_t{256} << 20) + 4 * m_n;
    }

    // A block of kind `id` at `link` with at least `minSize` bytes, lying inside the file; its address is
    // kept among the blocks met.
    bool block(uint64_t link, const char* id, uint16_t minSize, uint16_t& size) {
        if (link < kIdSize || link + 4 > m_n) return false;
        const uint8_t* b = m_d + link;
        if (b[0] != static_cast<uint8_t>(id[0]) || b[1] != static_cast<uint8_t>(id[1])) return false;
        size = get16(b + 2, m_big);
        if (size < minSize || link + size > m_n) return false;
        m_blocks.push_back(link);
        return true;
    }

    // A block the description does not read (a trigger or program block): only its place is kept, when
    // the link leads to a block of that kind; anything else there is passed over, as the file is still read.
    void meet(uint32_t link, const char* id) {
        if (uint16_t size; link != 0) block(link, id, 4, size);
    }

    uint32_t text(uint32_t link, std::string& out) {
        out.clear();
        if (link == 0) return MDF_OK;
        uint16_t size;
        if (!block(link, "TX", 4, size)) return MDF_ERR_BLOCK;
        if (!spend(size)) return MDF_ERR_TOO_LARGE;
        out = getText(m_d + link + 4, size - 4u);
        return MDF_OK;
    }

    uint32_t channel(uint32_t link, tMDF_CN_INFO& cn) {
        uint16_t size;
        if (!block(link, "CN", kCnMinSize, size)) return MDF_ERR_BLOCK;
        const uint8_t* b = m_d + link;
        cn.channelType = get16(b + 24, m_big);
        cn.shortName = getText(b + 26, kNameField);
        cn.description = getText(b + 58, kDescField);
        cn.startBit = get16(b + 186, m_big);
        cn.bitCount = get16(b + 188, m_big);
        cn.dataType = get16(b + 190, m_big);
        cn.rangeValid = get16(b + 192, m_big);
        cn.minimum = getReal(b + 194);
        cn.maximum = getReal(b + 202);
        cn.samplingRate = getReal(b + 210);
        if (!spend(sizeof(tMDF_CN_INFO))) return MDF_ERR_TOO_LARGE;
        if (const uint32_t cc = get32(b + 8, m_big); cc != 0)
            if (const uint32_t rc = conversion(cc, cn); rc != MDF_OK) return rc;
        if (const uint32_t ce = get32(b + 12, m_big); ce != 0)
            if (const uint32_t rc = extension(ce, cn); rc != MDF_OK) return rc;
        if (const uint32_t cd = get32(b + 16, m_big); cd != 0)
            if (uint16_t cdSize; !block(cd, "CD", 4, cdSize)) return MDF_ERR_BLOCK;
        if (const uint32_t rc = text(get32(b + 20, m_big), cn.comment); rc != MDF_OK) return rc;
        if (size >= 222)
            if (const uint32_t rc = text(get32(b + 218, m_big), cn.longName); rc != MDF_OK) return rc;
        if (size >= 226)
            if (const uint32_t rc = text(get32(b + 222, m_big), cn.displayName); rc != MDF_OK) return rc;
        cn.byteOffset = size >= kCnSize ? get16(b + 226, m_big) : 0;
        return MDF_OK;
    }

    uint32_t conversion(uint32_t link, tMDF_CN_INFO& cn) {
        uint16_t size;
        if (!block(link, "CC", kCcMinSize, size)) return MDF_ERR_BLOCK;
        const uint8_t* b = m_d + link;
        cn.convPresent = 1;
        cn.convRangeValid = get16(b + 4, m_big);
        cn.convMinimum = getReal(b + 6);
        cn.convMaximum = getReal(b + 14);
        cn.unit = getText(b + 22, kUnitField);
        cn.convType = get16(b + 42, m_big);
        const uint32_t entries = get16(b + 44, m_big);
        const uint8_t* p = b + kCcMinSize;
        const uint32_t room = size - kCcMinSize;
        auto need = [&](uint32_t entrySize) { return uint64_t{entries} * entrySize <= room; };
        switch (cn.convType) {
            case MDF_CONV_LINEAR:
            case MDF_CONV_POLYNOMIAL:
            case MDF_CONV_RATIONAL:
            case MDF_CONV_EXPONENTIAL:
            case MDF_CONV_LOGARITHMIC: {
                const unsigned n = cn.convType == MDF_CONV_LINEAR ? 2
                                   : cn.convType == MDF_CONV_POLYNOMIAL || cn.convType == MDF_CONV_RATIONAL
                                       ? 6
                                       : 7;
                if (room < 8 * n) return MDF_ERR_BLOCK;
                for (unsigned i = 0; i < n; ++i) cn.params[i] = getReal(p + 8 * i);
                break;
            }
            case MDF_CONV_TAB_INTERP:
            case MDF_CONV_TAB:
                if (!need(kValuePairEntry)) return MDF_ERR_BLOCK;
                if (!spend(uint64_t{entries} * sizeof(tMDF_CN_VALUE_PAIR))) return MDF_ERR_TOO_LARGE;
                cn.valuePairs.resize(entries);
                for (uint32_t i = 0; i < entries; ++i)
                    cn.valuePairs[i] = {getReal(p + 16 * i), getReal(p + 16 * i + 8)};
                break;
            case MDF_CONV_TEXT_TABLE:
                if (!need(kTextTableEntry)) return MDF_ERR_BLOCK;
                if (!spend(uint64_t{entries} * (sizeof(tMDF_CN_TEXT_ITEM) + kNameField)))
                    return MDF_ERR_TOO_LARGE;
                cn.textTable.resize(entries);
                for (uint32_t i = 0; i < entries; ++i) {
                    cn.textTable[i].value = getReal(p + 40 * i);
                    cn.textTable[i].text = getText(p + 40 * i + 8, kNameField);
                }
                break;
            case MDF_CONV_TEXT_RANGE:
                if (!need(kRangeTableEntry)) return MDF_ERR_BLOCK;
                if (!spend(uint64_t{entries} * sizeof(tMDF_CN_RANGE_ITEM))) return MDF_ERR_TOO_LARGE;
                cn.rangeTable.resize(entries);
                for (uint32_t i = 0; i < entries; ++i) {
                    tMDF_CN_RANGE_ITEM& r = cn.rangeTable[i];
                    r.lower = getReal(p + 20 * i);
                    r.upper = getReal(p + 20 * i + 8);
                    if (const uint32_t rc = text(get32(p + 20 * i + 16, m_big), r.text); rc != MDF_OK)
                        return rc;
                }
                break;
            default:
                break;
        }
        return MDF_OK;
    }

    uint32_t extension(uint32_t link, tMDF_CN_INFO& cn) {
        uint16_t size;
        if (!block(link, "CE", 6, size)) return MDF_ERR_BLOCK;
        const uint8_t* b = m_d + link;
        cn.extPresent = 1;
        cn.extType = get16(b + 4, m_big);
        if (cn.extType == 2) {
            if (size < kCeDimMinSize) return MDF_ERR_BLOCK;
            cn.moduleNumber = get16(b + 6, m_big);
            cn.address = get32(b + 8, m_big);
            cn.extDescription = getText(b + 12, kCeDescField);
            cn.ecuId = getText(b + 92, kNameField);
        } else if (cn.extType == 19) {
            if (size < kCeCanSize) return MDF_ERR_BLOCK;
            cn.canId = get32(b + 6, m_big);
            cn.canChannel = get32(b + 10, m_big);
            cn.messageName = getText(b + 14, kCanNameField);
            cn.senderName = getText(b + 50, kCanNameField);
        } else {
            return MDF_ERR_CHANNEL_GROUP;
        }
        return MDF_OK;
    }

    const uint8_t* m_d;
    uint64_t m_n;
    bool m_big = false;
    uint64_t m_budget = 0;
    std::vector<uint64_t> m_blocks;
};

}  // namespace

MdfFileImage::MdfFileImage() = default;

MdfFileImage::~MdfFileImage() {
    close();
}

uint32_t MdfFileImage::open(const std::string& path) {
    close();
    m_fileError = tMDF_FILE_ERROR();
    auto failed = [&](std::string reason) {
        m_fileError = {path, false, std::move(reason)};
        return MDF_ERR_FILE;
    };
    if (path.empty() || path.find('\0') != std::string::npos) return failed(ErrorText(ENOENT));
    std::string reason;
    const int fd = vex::OpenInputFile(path, reason);
    if (fd < 0) return failed(reason);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(ErrorText(error));
    }
    if (st.st_size <= 0) {
        ::close(fd);
        return failed("Empty file");
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size >= kMaxMappedSize) {
        ::close(fd);
        return MDF_ERR_TOO_LARGE;
    }
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        const int error = errno;
        ::close(fd);
        return failed(ErrorText(error));
    }
    m_fd = fd;
    const uint32_t rc = parse(static_cast<const uint8_t*>(map), size);
    if (rc != MDF_OK) {
        ::munmap(map, size);
        ::close(fd);
        m_fd = -1;
        return rc;
    }
    m_mapping = map;
    m_mappingSize = size;
    return MDF_OK;
}

void MdfFileImage::close() {
    if (m_mapping) ::munmap(m_mapping, m_mappingSize);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_mapping = nullptr;
    m_mappingSize = 0;
    m_data = nullptr;
    m_size = 0;
    m_readChannels.clear();
    m_readChannelCount = 0;
    m_recordIndex.clear();
    m_columns.clear();
    m_runs.clear();
}

uint32_t MdfFileImage::parse(const uint8_t* data, uint64_t size) {
    tMDF_FILE file;
    MdfIdentity id = m_identity;
    std::vector<uint32_t> dataLinks;
    std::vector<uint64_t> blocks;
    Parser parser(data, size);
    if (const uint32_t rc = parser.parse(file, id, dataLinks, blocks); rc != MDF_OK) return rc;
    m_file = std::move(file);
    m_identity = id;
    m_data = data;
    m_size = size;
    buildReadIndex(dataLinks, std::move(blocks));
    return MDF_OK;
}

// Finds every record of every channel group and resolves each channel: the records a group reports are the
// complete ones that lie between its data block's start and the next block or data block of the file (or
// the file's end), at most the count its block declares; a channel whose bits lie outside its record is
// marked unreadable.
void MdfFileImage::buildReadIndex(const std::vector<uint32_t>& dataLinks, std::vector<uint64_t> bounds) {
    m_readChannels.clear();
    m_recordIndex.clear();
    m_runs.clear();
    // Every place where something other than a group's records begins, and the file's end.
    bounds.insert(bounds.end(), dataLinks.begin(), dataLinks.end());
    bounds.push_back(m_size);
    std::sort(bounds.begin(), bounds.end());
    const bool big = m_file.byteOrder != 0;
    uint32_t number = 0;
    for (size_t d = 0; d < m_file.dataGroups.size(); ++d) {
        tMDF_DG_INFO& dg = m_file.dataGroups[d];
        const uint64_t k = dg.recordIdCount;
        const uint64_t start = dataLinks[d];
        // Where the group's data ends at the latest: what comes next after its start, never beyond the file
        // (a data link past the file's end finds other links past it).
        const auto next = std::upper_bound(bounds.begin(), bounds.end(), start);
        const uint64_t limit = next == bounds.end() ? start : std::min(m_size, *next);
        const bool mixed = dg.channelGroups.size() > 1;
        std::vector<size_t> slots(dg.channelGroups.size());
        if (mixed) {
            // One pass over the data block: each identifier byte names the group of the record after it.
            std::array<int, 256> byId;
            byId.fill(-1);
            uint64_t declared = 0;
            for (size_t g = 0; g < dg.channelGroups.size(); ++g) {
                const tMDF_CG_INFO& cg = dg.channelGroups[g];
                if (cg.recordId < 256 && byId[cg.recordId] < 0) byId[cg.recordId] = static_cast<int>(g);
                declared = std::min(m_size, declared + (cg.recordSize + k) * cg.recordCount);
                slots[g] = m_recordIndex.size();
                m_recordIndex.emplace_back();
            }
            const uint64_t end = start == 0 ? 0 : std::min(limit, start + declared);
            for (uint64_t pos = start; pos < end;) {
                const int g = byId[m_data[pos]];
                if (g < 0) break;
                const tMDF_CG_INFO& cg = dg.channelGroups[static_cast<size_t>(g)];
                if (pos + cg.recordSize + k > end) break;
                std::vector<uint32_t>& index = m_recordIndex[slots[static_cast<size_t>(g)]];
                if (index.size() < cg.recordCount) index.push_back(static_cast<uint32_t>(pos + 1));
                pos += cg.recordSize + k;
            }
        }
        for (size_t g = 0; g < dg.channelGroups.size(); ++g) {
            tMDF_CG_INFO& cg = dg.channelGroups[g];
            const uint64_t stride = cg.recordSize + k;
            uint64_t available = 0;
            if (mixed)
                available = m_recordIndex[slots[g]].size();
            else if (start != 0 && start <= m_size)
                available = stride == 0 ? cg.recordCount : (limit - start) / stride;
            cg.recordCount = static_cast<uint32_t>(std::min<uint64_t>(cg.recordCount, available));
            MdfGroupRuns& runs = m_runs.emplace_back();
            runs.start = start;
            runs.stride = stride;
            runs.block = !mixed && stride > 0;
            runs.count = cg.recordCount;
            runs.firstChannel = number;
            runs.channels = static_cast<uint32_t>(cg.channels.size());
            for (tMDF_CN_INFO& cn : cg.channels) {
                cn.channelNumber = number++;
                MdfReadChannel& ch = m_readChannels.emplace_back();
                ch.info = &cn;
                ch.big = big;
                ch.group = static_cast<uint32_t>(m_runs.size() - 1);
                ch.idBytes = k > 0 ? 1 : 0;
                ch.offsets = mixed ? m_recordIndex[slots[g]].data() : nullptr;
                ch.baseOffset = start + ch.idBytes;
                ch.stride = stride;
                ch.count = cg.recordCount;
                ch.bitCount = cn.bitCount;
                ch.dataType = cn.dataType;
                ch.shift = static_cast<uint8_t>(cn.startBit % 8);
                const uint64_t bytes = (uint64_t{ch.shift} + cn.bitCount + 7) / 8;
                const uint64_t first = uint64_t{cn.byteOffset} + cn.startBit / 8;
                ch.readable = cn.bitCount <= 64 && first + bytes <= cg.recordSize;
                ch.firstByte = static_cast<uint32_t>(first);
                ch.byteCount = static_cast<uint8_t>(ch.readable ? bytes : 0);
                ch.mask = cn.bitCount >= 64 ? ~uint64_t{0} : (uint64_t{1} << cn.bitCount) - 1;
                ch.signShift =
                    static_cast<uint8_t>(cn.bitCount >= 1 && cn.bitCount <= 64 ? 64 - cn.bitCount : 0);
                // One 8-byte load inside the record when the covered bytes fit in 8. Little-endian: the load
                // starts at the channel's first byte, or ends with the record when that is too close to its
                // end. Big-endian (bytes read last to first): the load ends with the channel's last byte, or
                // starts with the record when that is too close to its start.
                if (ch.readable && cg.recordSize >= 8 && bytes >= 1 && bytes <= 8) {
                    const uint64_t last = first + bytes;  // one past the channel's last byte
                    if (!big) {
                        ch.load = BitLoad::WordLittle;
                        ch.loadByte = static_cast<uint32_t>(std::min<uint64_t>(first, cg.recordSize - 8u));
                        ch.loadShift = static_cast<uint8_t>((first - ch.loadByte) * 8 + ch.shift);
                    } else {
                        ch.load = BitLoad::WordBig;
                        ch.loadByte = static_cast<uint32_t>(last >= 8 ? last - 8 : 0);
                        ch.loadShift = static_cast<uint8_t>((ch.loadByte + 8 - last) * 8 + ch.shift);
                    }
                }
                if (cn.convPresent && cn.convType == MDF_CONV_LINEAR) {
                    ch.conv = MdfReadChannel::Conv::Linear;
                    ch.offset = cn.params[0];
                    ch.factor = cn.params[1];
                } else if (cn.convPresent && cn.convType != MDF_CONV_IDENTITY) {
                    ch.conv = MdfReadChannel::Conv::Other;
                }
                ch.decode = columnDecoder(ch);
            }
        }
    }
    m_readChannelCount = static_cast<uint32_t>(m_readChannels.size());
    m_columns.clear();
    m_columns.resize(m_readChannels.size());
    // Decoded runs of at most 1,024 records and record windows of at most 1 MiB, both smaller for files of
    // many channels or groups: at most 16 MiB of decoded values and 32 MiB of record windows. A group whose
    // single record exceeds its window share decodes straight from the mapping.
    constexpr uint64_t kColumnBytes = 16u << 20, kBlockBytes = 32u << 20, kMaxBlock = 1u << 20,
                       kMaxRun = 1024;
    const uint64_t channels = std::max<uint64_t>(1, m_readChannels.size());
    const uint64_t columnRun = std::clamp<uint64_t>(kColumnBytes / (sizeof(double) * channels), 1, kMaxRun);
    const uint64_t blockShare = std::min<uint64_t>(
        kMaxBlock, kBlockBytes / MdfGroupRuns::kWindows / std::max<uint64_t>(1, m_runs.size()));
    for (MdfGroupRuns& runs : m_runs) {
        if (runs.stride > blockShare) runs.block = false;
        uint64_t run = columnRun, window = columnRun;
        if (runs.block) {
            const uint64_t fit = blockShare / runs.stride;
            run = std::min(columnRun, fit);
            window = fit / run * run;
        }
        runs.run = static_cast<uint32_t>(run);
        runs.window = static_cast<uint32_t>(window);
    }
}

}  // namespace lorimar
