#include "tests/mdf/mdf3ref.h"

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

namespace mdfref {

namespace {

class In {
public:
    In(const std::string& b, bool big) : m_b(b), m_big(big) {}

    void need(uint64_t at, uint64_t n) const {
        if (at + n > m_b.size()) throw std::runtime_error("read past the end at " + std::to_string(at));
    }
    uint64_t uint(uint64_t at, int n) const {
        need(at, n);
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const uint64_t byte = static_cast<uint8_t>(m_b[at + i]);
            v |= byte << (8 * (m_big ? n - 1 - i : i));
        }
        return v;
    }
    uint16_t u16(uint64_t at) const { return static_cast<uint16_t>(uint(at, 2)); }
    uint32_t u32(uint64_t at) const { return static_cast<uint32_t>(uint(at, 4)); }
    double real(uint64_t at) const {
        need(at, 8);
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(m_b[at + i]);
        double d;
        std::memcpy(&d, &v, 8);
        return d;
    }
    std::string str(uint64_t at, size_t n) const {
        need(at, n);
        std::string s = m_b.substr(at, n);
        return s.substr(0, s.find('\0'));
    }
    // Checks the two-letter identifier and returns the block's size.
    uint16_t expect(uint64_t at, const char* id) const {
        need(at, 4);
        if (m_b.compare(at, 2, id) != 0) throw std::runtime_error(std::string("no ") + id + " block");
        const uint16_t size = u16(at + 2);
        need(at, size);
        return size;
    }
    std::string text(uint32_t link) const {
        if (link == 0) return "";
        const uint16_t size = expect(link, "TX");
        return str(link + 4, size - 4);
    }

private:
    const std::string& m_b;
    bool m_big;
};

Conversion readConversion(const In& in, uint32_t at) {
    Conversion c;
    const uint16_t size = in.expect(at, "CC");
    c.unit = in.str(at + 22, 20);
    c.type = in.u16(at + 42);
    const uint16_t n = in.u16(at + 44);
    uint64_t p = at + 46;
    if (c.type == 1 || c.type == 2) {
        for (int i = 0; i < n; ++i, p += 16) c.table.emplace_back(in.real(p), in.real(p + 8));
    } else if (c.type == 11) {
        for (int i = 0; i < n; ++i, p += 40) c.texts.emplace_back(in.real(p), in.str(p + 8, 32));
    } else if (c.type == 0 || (c.type >= 6 && c.type <= 9)) {
        for (int i = 0; i < n; ++i, p += 8) c.params.push_back(in.real(p));
    }
    if (p > at + size) throw std::runtime_error("conversion larger than its block");
    return c;
}

}  // namespace

File read(const std::string& b) {
    if (b.size() < 64 || b.compare(0, 3, "MDF") != 0) throw std::runtime_error("no identification block");
    File f;
    f.bigEndian = (static_cast<uint8_t>(b[24]) | static_cast<uint8_t>(b[25])) != 0;
    const In in(b, f.bigEndian);
    f.formatId = in.str(8, 8);
    f.programId = in.str(16, 8);
    f.version = in.u16(28);
    f.headerSize = in.expect(64, "HD");
    f.date = in.str(64 + 18, 10);
    f.time = in.str(64 + 28, 8);
    f.author = in.str(64 + 36, 32);
    f.organisation = in.str(64 + 68, 32);
    f.project = in.str(64 + 100, 32);
    f.subject = in.str(64 + 132, 32);
    f.comment = in.text(in.u32(64 + 8));
    const uint16_t dgCount = in.u16(64 + 16);

    std::set<uint32_t> seen;
    for (uint32_t dgAt = in.u32(64 + 4); dgAt != 0; dgAt = in.u32(dgAt + 4)) {
        if (!seen.insert(dgAt).second) throw std::runtime_error("data-group chain loops");
        // The public data-group block is 28 bytes, its reserved word at 24 included; a shorter one is
        // refused.
        if (in.expect(dgAt, "DG") < 28) throw std::runtime_error("data-group block shorter than 28 bytes");
        DataGroup& dg = f.dataGroups.emplace_back();
        dg.idCount = in.u16(dgAt + 22);
        for (uint32_t cgAt = in.u32(dgAt + 8); cgAt != 0; cgAt = in.u32(cgAt + 4)) {
            if (!seen.insert(cgAt).second) throw std::runtime_error("channel-group chain loops");
            in.expect(cgAt, "CG");
            ChannelGroup& cg = dg.groups.emplace_back();
            cg.comment = in.text(in.u32(cgAt + 12));
            cg.recordId = in.u16(cgAt + 16);
            cg.recordSize = in.u16(cgAt + 20);
            cg.recordCount = in.u32(cgAt + 22);
            const uint16_t channels = in.u16(cgAt + 18);
            for (uint32_t cnAt = in.u32(cgAt + 8); cnAt != 0; cnAt = in.u32(cnAt + 4)) {
                if (!seen.insert(cnAt).second) throw std::runtime_error("channel chain loops");
                const uint16_t size = in.expect(cnAt, "CN");
                Channel& cn = cg.channels.emplace_back();
                cn.channelType = in.u16(cnAt + 24);
                cn.name = in.str(cnAt + 26, 32);
                cn.description = in.str(cnAt + 58, 128);
                cn.startBit = in.u16(cnAt + 186);
                cn.bitCount = in.u16(cnAt + 188);
                cn.dataType = in.u16(cnAt + 190);
                cn.rangeValid = in.u16(cnAt + 192);
                cn.minimum = in.real(cnAt + 194);
                cn.maximum = in.real(cnAt + 202);
                cn.rate = in.real(cnAt + 210);
                cn.comment = in.text(in.u32(cnAt + 20));
                if (size >= 228) {
                    cn.longName = in.text(in.u32(cnAt + 218));
                    cn.displayName = in.text(in.u32(cnAt + 222));
                    cn.byteOffset = in.u16(cnAt + 226);
                }
                if (const uint32_t cc = in.u32(cnAt + 8); cc != 0) {
                    cn.hasConversion = true;
                    cn.conv = readConversion(in, cc);
                }
                if (const uint32_t ce = in.u32(cnAt + 12); ce != 0) in.expect(ce, "CE");
            }
            if (cg.channels.size() != channels) throw std::runtime_error("channel count differs from chain");
        }
        // Records: identifier byte, record, and with two identifiers the identifier again.
        uint64_t pos = in.u32(dgAt + 16);
        std::map<uint16_t, ChannelGroup*> byId;
        uint64_t pending = 0;
        for (ChannelGroup& cg : dg.groups) {
            byId[cg.recordId] = &cg;
            pending += cg.recordCount;
        }
        if (dg.idCount == 0 && dg.groups.size() > 1)
            throw std::runtime_error("mixed group without identifiers");
        while (pending > 0) {
            ChannelGroup* cg = dg.groups.empty() ? nullptr : &dg.groups[0];
            if (dg.idCount > 0) {
                in.need(pos, 1);
                const auto it = byId.find(static_cast<uint8_t>(b[pos]));
                if (it == byId.end()) throw std::runtime_error("unknown record identifier");
                cg = it->second;
                ++pos;
            }
            in.need(pos, cg->recordSize);
            cg->records.push_back(b.substr(pos, cg->recordSize));
            pos += cg->recordSize;
            if (dg.idCount == 2) {
                in.need(pos, 1);
                if (static_cast<uint8_t>(b[pos]) != cg->recordId)
                    throw std::runtime_error("trailing id differs");
                ++pos;
            }
            if (cg->records.size() > cg->recordCount) throw std::runtime_error("more records than declared");
            --pending;
        }
    }
    if (f.dataGroups.size() != dgCount) throw std::runtime_error("data-group count differs from chain");
    return f;
}

uint64_t field(bool big, const Channel& ch, const std::string& record) {
    const size_t first = ch.byteOffset + ch.startBit / 8;
    const size_t last = ch.byteOffset + (ch.startBit + ch.bitCount + 7) / 8;  // exclusive
    if (last > record.size()) throw std::runtime_error("channel outside its record");
    unsigned __int128 v = 0;
    for (size_t i = first; i < last; ++i) {
        const unsigned __int128 byte = static_cast<uint8_t>(record[i]);
        v |= big ? byte << (8 * (last - 1 - i)) : byte << (8 * (i - first));
    }
    v >>= ch.startBit % 8;
    const unsigned __int128 mask = (static_cast<unsigned __int128>(1) << ch.bitCount) - 1;
    return static_cast<uint64_t>(v & mask);
}

double number(bool big, const Channel& ch, const std::string& record) {
    const uint64_t v = field(big, ch, record);
    switch (ch.dataType) {
        case 0:
            return static_cast<double>(v);
        case 1: {
            const bool negative = ch.bitCount > 0 && ((v >> (ch.bitCount - 1)) & 1);
            if (!negative || ch.bitCount == 64) return static_cast<double>(static_cast<int64_t>(v));
            return static_cast<double>(static_cast<int64_t>(v)) - std::ldexp(1.0, ch.bitCount);
        }
        case 2: {
            float x;
            const uint32_t u = static_cast<uint32_t>(v);
            std::memcpy(&x, &u, 4);
            return x;
        }
        case 3: {
            double x;
            std::memcpy(&x, &v, 8);
            return x;
        }
        default:
            throw std::runtime_error("data type not numeric");
    }
}

void putField(bool big, uint16_t startBit, uint16_t bitCount, uint64_t value, std::string& record) {
    const size_t first = startBit / 8;
    const size_t last = (startBit + bitCount + 7) / 8;
    unsigned __int128 v = 0;
    for (size_t i = first; i < last; ++i) {
        const unsigned __int128 byte = static_cast<uint8_t>(record[i]);
        v |= big ? byte << (8 * (last - 1 - i)) : byte << (8 * (i - first));
    }
    const unsigned __int128 mask = ((static_cast<unsigned __int128>(1) << bitCount) - 1) << (startBit % 8);
    v = (v & ~mask) | ((static_cast<unsigned __int128>(value) << (startBit % 8)) & mask);
    for (size_t i = first; i < last; ++i)
        record[i] = static_cast<char>(big ? v >> (8 * (last - 1 - i)) : v >> (8 * (i - first)));
}

namespace {

class Out {
public:
    explicit Out(bool big) : m_big(big) {}
    std::string bytes;

    size_t here() const { return bytes.size(); }
    void uint(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) bytes.push_back(static_cast<char>(v >> (8 * (m_big ? n - 1 - i : i))));
    }
    void u16(uint64_t v) { uint(v, 2); }
    void u32(uint64_t v) { uint(v, 4); }
    void real(double d) {
        uint64_t v;
        std::memcpy(&v, &d, 8);
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
    }
    void str(const std::string& s, size_t n) {
        std::string f = s.substr(0, n);
        f.resize(n, '\0');
        bytes += f;
    }
    void patch32(size_t at, uint64_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * (m_big ? 3 - i : i)));
    }
    uint32_t text(const std::string& s) {
        if (s.empty()) return 0;
        const uint32_t at = static_cast<uint32_t>(here());
        bytes += "TX";
        u16(s.size() + 5);
        bytes += s;
        bytes.push_back('\0');
        return at;
    }

private:
    bool m_big;
};

}  // namespace

std::string write(const File& f) {
    Out o(f.bigEndian);
    o.str("MDF     ", 8);
    o.str(f.formatId, 8);
    o.str(f.programId, 8);
    o.u16(f.bigEndian ? 1 : 0);
    o.u16(0);
    o.u16(f.version);
    o.u16(0);
    o.str("", 32);
    o.bytes += "HD";
    o.u16(f.headerSize);
    const size_t hdLinks = o.here();
    o.u32(0);
    o.u32(0);
    o.u32(0);
    o.u16(f.dataGroups.size());
    o.str(f.date, 10);
    o.str(f.time, 8);
    o.str(f.author, 32);
    o.str(f.organisation, 32);
    o.str(f.project, 32);
    o.str(f.subject, 32);
    o.str("", f.headerSize - 164u);  // long-header fields all zero
    o.patch32(hdLinks + 4, o.text(f.comment));

    std::vector<size_t> dataLinkAt;
    size_t prevDgNext = hdLinks;  // where the link to the next data group goes
    for (const DataGroup& dg : f.dataGroups) {
        const size_t dgAt = o.here();
        o.patch32(prevDgNext, dgAt);
        o.bytes += "DG";
        o.u16(f.dataGroupSize);
        prevDgNext = o.here();
        o.u32(0);
        const size_t firstCg = o.here();
        o.u32(0);
        o.u32(0);
        dataLinkAt.push_back(o.here());
        o.u32(0);
        o.u16(dg.groups.size());
        o.u16(dg.idCount);
        if (f.dataGroupSize >= 28) o.u32(0);
        size_t prevCgNext = firstCg;
        for (const ChannelGroup& cg : dg.groups) {
            const uint32_t comment = o.text(cg.comment);
            const size_t cgAt = o.here();
            o.patch32(prevCgNext, cgAt);
            o.bytes += "CG";
            o.u16(30);
            prevCgNext = o.here();
            o.u32(0);
            const size_t firstCn = o.here();
            o.u32(0);
            o.u32(comment);
            o.u16(cg.recordId);
            o.u16(cg.channels.size());
            o.u16(cg.recordSize);
            uint32_t count = 0;
            for (const auto& r : dg.records) count += &dg.groups[r.first] == &cg;
            o.u32(count);
            o.u32(0);
            size_t prevCnNext = firstCn;
            for (const Channel& cn : cg.channels) {
                uint32_t cc = 0;
                if (cn.hasConversion) {
                    cc = static_cast<uint32_t>(o.here());
                    const Conversion& c = cn.conv;
                    const size_t n = c.type == 1 || c.type == 2 ? c.table.size()
                                     : c.type == 11             ? c.texts.size()
                                                                : c.params.size();
                    const size_t entry = c.type == 1 || c.type == 2 ? 16 : c.type == 11 ? 40 : 8;
                    o.bytes += "CC";
                    o.u16(46 + n * entry);
                    o.u16(0);
                    o.real(0);
                    o.real(0);
                    o.str(c.unit, 20);
                    o.u16(c.type);
                    o.u16(n);
                    for (const auto& [x, y] : c.table) {
                        o.real(x);
                        o.real(y);
                    }
                    for (const auto& [x, t] : c.texts) {
                        o.real(x);
                        o.str(t, 32);
                    }
                    for (const double p : c.params) o.real(p);
                }
                const uint32_t comment2 = o.text(cn.comment);
                const uint32_t longName = o.text(cn.longName);
                const size_t cnAt = o.here();
                o.patch32(prevCnNext, cnAt);
                o.bytes += "CN";
                o.u16(228);
                prevCnNext = o.here();
                o.u32(0);
                o.u32(cc);
                o.u32(0);
                o.u32(0);
                o.u32(comment2);
                o.u16(cn.channelType);
                o.str(cn.name, 32);
                o.str(cn.description, 128);
                o.u16(cn.startBit);
                o.u16(cn.bitCount);
                o.u16(cn.dataType);
                o.u16(cn.rangeValid);
                o.real(cn.minimum);
                o.real(cn.maximum);
                o.real(cn.rate);
                o.u32(longName);
                o.u32(0);
                o.u16(cn.byteOffset);
            }
        }
    }
    for (size_t d = 0; d < f.dataGroups.size(); ++d) {
        const DataGroup& dg = f.dataGroups[d];
        o.patch32(dataLinkAt[d], o.here());
        for (const auto& [g, rec] : dg.records) {
            const char id = static_cast<char>(dg.groups[g].recordId);
            if (dg.idCount > 0) o.bytes.push_back(id);
            o.bytes += rec;
            if (dg.idCount > 1) o.bytes.push_back(id);
        }
    }
    return o.bytes;
}

}  // namespace mdfref
