// Reading values in bulk and through the decoded runs: every value read one by one (in record order and in
// channel order), in one bulk read and in odd-sized bulk pieces equals what the independent writer stored,
// across run and window boundaries, in both byte orders, with 0, 1 and 2 record identifiers, from a file
// and from bytes in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "mdf/mdfimage.h"
#include "tests/mdf/mdf3ref.h"
#include "tests/mdf/mdftest.h"

using namespace mdftest;

namespace {

struct Config {
    bool big;
    uint16_t ids;
    size_t groups;
    uint16_t recordSize;  // 1000 bytes: record windows of one run, so reads cross windows too
};

const Config kConfigs[] = {{false, 0, 1, 20}, {true, 0, 1, 20}, {false, 0, 1, 1000}, {true, 1, 1, 1000},
                           {false, 1, 3, 20}, {true, 2, 2, 20}, {false, 2, 1, 20}};
constexpr uint32_t kRecords = 5000;  // beyond four runs of 1,024 records (and four windows of them)

// Channels per group: unsigned 5 bits at bit 3, signed 12 bits at bit 8, a single, a double with a linear
// conversion, unsigned 32 bits ending with the record; in records of 1000 bytes also a double through an
// interpolated table (NaN values cannot be converted) and a 64-bit unsigned off a byte (nine bytes covered).
mdfref::ChannelGroup makeGroup(uint16_t recordId, uint16_t recordSize) {
    mdfref::ChannelGroup cg;
    cg.recordId = recordId;
    cg.recordSize = recordSize;
    auto add = [&](const char* name, uint16_t type, uint16_t start, uint16_t bits) -> mdfref::Channel& {
        mdfref::Channel& cn = cg.channels.emplace_back();
        cn.name = name;
        cn.dataType = type;
        cn.startBit = start;
        cn.bitCount = bits;
        return cn;
    };
    add("u5", 0, 3, 5);
    add("s12", 1, 8, 12);
    add("u32end", 0, static_cast<uint16_t>(8 * (recordSize - 4)), 32);
    add("f32", 2, 24, 32);
    mdfref::Channel& lin = add("lin", 3, 56, 64);
    lin.hasConversion = true;
    lin.conv.type = 0;
    lin.conv.params = {-3, 0.25};
    if (recordSize >= 40) {
        mdfref::Channel& tab = add("tab", 3, 120, 64);
        tab.hasConversion = true;
        tab.conv.type = 1;
        tab.conv.table = {{-1e6, -2e6}, {1e6, 2e6}};
        add("u64odd", 0, 8 * 24 + 1, 64);
    }
    return cg;
}

struct Written {
    mdfref::File file;
    std::vector<std::vector<std::vector<uint64_t>>> fields;  // [group][record][channel]
};

Written writeFile(const Config& cfg, std::mt19937& rng) {
    Written w;
    w.file.bigEndian = cfg.big;
    mdfref::DataGroup& dg = w.file.dataGroups.emplace_back();
    dg.idCount = cfg.ids;
    for (size_t g = 0; g < cfg.groups; ++g)
        dg.groups.push_back(makeGroup(static_cast<uint16_t>(g), cfg.recordSize));
    w.fields.resize(cfg.groups);
    for (uint32_t r = 0; r < kRecords * cfg.groups; ++r) {
        const size_t g = r % cfg.groups == 0 ? 0 : rng() % cfg.groups;
        const mdfref::ChannelGroup& cg = dg.groups[g];
        std::string rec(cg.recordSize, '\0');
        std::vector<uint64_t>& v = w.fields[g].emplace_back();
        for (const mdfref::Channel& cn : cg.channels) {
            uint64_t x = (uint64_t{rng()} << 32) | rng();
            if (cn.bitCount < 64) x &= (uint64_t{1} << cn.bitCount) - 1;
            if (cn.dataType == 2) {
                const float f = static_cast<float>(static_cast<int32_t>(rng())) / 64.0f;
                uint32_t u;
                std::memcpy(&u, &f, 4);
                x = u;
            } else if (cn.dataType == 3) {
                const double d = cn.name == "tab" && rng() % 7 == 0 ? std::nan("")
                                 : cn.name == "tab"                 ? static_cast<int32_t>(rng()) / 1024.0
                                                                    : static_cast<int32_t>(rng()) / 16.0;
                std::memcpy(&x, &d, 8);
            }
            v.push_back(x);
            mdfref::putField(cfg.big, cn.startBit, cn.bitCount, x, rec);
        }
        dg.records.emplace_back(g, rec);
    }
    return w;
}

// The physical value and result the library must give for a stored field.
std::pair<double, uint32_t> expected(const mdfref::Channel& cn, uint64_t x) {
    double raw;
    switch (cn.dataType) {
        case 0:
            raw = static_cast<double>(x);
            break;
        case 1:
            raw = static_cast<double>(static_cast<int64_t>(x << (64 - cn.bitCount)) >> (64 - cn.bitCount));
            break;
        case 2: {
            float f;
            const uint32_t u = static_cast<uint32_t>(x);
            std::memcpy(&f, &u, 4);
            raw = f;
            break;
        }
        default:
            std::memcpy(&raw, &x, 8);
            break;
    }
    if (cn.name == "lin") return {raw * 0.25 - 3, MDF_OK};
    if (cn.name == "tab") {
        if (std::isnan(raw)) return {0, MDF_ERR_CONVERSION};
        if (raw <= -1e6) return {-2e6, MDF_OK};
        if (raw > 1e6) return {2e6, MDF_OK};
        return {-2e6 + (raw + 1e6) * (2e6 - -2e6) / (1e6 - -1e6), MDF_OK};
    }
    return {raw, MDF_OK};
}

// Every way of reading every channel, through `phys` (one value) and `range` (bulk), against the fields.
template <class Phys, class Range>
void checkAllReads(const Written& w, const tMDF_FILE& info, Phys phys, Range range, const std::string& what) {
    const mdfref::DataGroup& dg = w.file.dataGroups[0];
    ASSERT_EQ(info.dataGroups.size(), 1u);
    ASSERT_EQ(info.dataGroups[0].channelGroups.size(), dg.groups.size());
    for (size_t g = 0; g < dg.groups.size(); ++g) {
        const tMDF_CG_INFO& cg = info.dataGroups[0].channelGroups[g];
        const mdfref::ChannelGroup& ref = dg.groups[g];
        const std::vector<std::vector<uint64_t>>& fields = w.fields[g];
        ASSERT_EQ(cg.recordCount, fields.size()) << what;
        // Record by record over all channels, as a CSV export reads.
        for (uint32_t r = 0; r < cg.recordCount; ++r) {
            for (size_t c = 0; c < cg.channels.size(); ++c) {
                const auto [value, rc] = expected(ref.channels[c], fields[r][c]);
                double v = -1;
                ASSERT_EQ(phys(static_cast<uint16_t>(cg.channels[c].channelNumber), r, v), rc)
                    << what << " " << ref.channels[c].name << " record " << r;
                if (rc == MDF_OK) {
                    ASSERT_EQ(v, value) << what << " " << ref.channels[c].name << " record " << r;
                } else {
                    ASSERT_EQ(v, -1) << what << " " << ref.channels[c].name << " record " << r;
                }
            }
        }
        for (size_t c = 0; c < cg.channels.size(); ++c) {
            const uint16_t n = static_cast<uint16_t>(cg.channels[c].channelNumber);
            // Channel by channel, backwards: every value misses the run read before.
            for (uint32_t r = cg.recordCount; r-- > 0;) {
                const auto [value, rc] = expected(ref.channels[c], fields[r][c]);
                double v = -1;
                ASSERT_EQ(phys(n, r, v), rc) << what;
                if (rc == MDF_OK) {
                    ASSERT_EQ(v, value) << what << " " << ref.channels[c].name << " record " << r;
                }
            }
            // Bulk: the whole channel, then odd pieces; failed conversions give NaN and result 18.
            for (const uint32_t piece : {cg.recordCount, 777u, 1u}) {
                std::vector<double> out(cg.recordCount, -1);
                uint32_t worst = MDF_OK;
                for (uint32_t first = 0; first < cg.recordCount; first += piece) {
                    const uint32_t count = std::min(piece, cg.recordCount - first);
                    const uint32_t rc = range(n, first, count, out.data() + first);
                    if (rc != MDF_OK) worst = rc;
                }
                uint32_t expectWorst = MDF_OK;
                for (uint32_t r = 0; r < cg.recordCount; ++r) {
                    const auto [value, rc] = expected(ref.channels[c], fields[r][c]);
                    if (rc != MDF_OK) {
                        expectWorst = rc;
                        ASSERT_TRUE(std::isnan(out[r]))
                            << what << " " << ref.channels[c].name << " record " << r;
                    } else {
                        ASSERT_EQ(out[r], value)
                            << what << " " << ref.channels[c].name << " piece " << piece << " record " << r;
                    }
                }
                EXPECT_EQ(worst, expectWorst) << what << " " << ref.channels[c].name;
            }
        }
    }
}

}  // namespace

TEST(LorimarRead, EveryWayOfReadingGivesTheStoredValues) {
    vextest::TempDir dir;
    std::mt19937 rng(5);
    for (const Config& cfg : kConfigs) {
        const std::string what = std::string(cfg.big ? "big" : "little") + " ids " + std::to_string(cfg.ids) +
                                 " groups " + std::to_string(cfg.groups) + " record " +
                                 std::to_string(cfg.recordSize);
        const Written w = writeFile(cfg, rng);
        const std::string bytes = mdfref::write(w.file);
        vextest::writeFile(dir / "r.mdf", bytes);

        CLorimar lib;
        ASSERT_EQ(open(lib, dir / "r.mdf"), MDF_OK) << what;
        checkAllReads(
            w, lib.GetMdfFileInfo(),
            [&](uint16_t n, uint32_t r, double& v) { return lib.GetChannelPhyData(n, r, v); },
            [&](uint16_t n, uint32_t f, uint32_t c, double* out) {
                return lib.GetChannelPhyData(n, f, c, out);
            },
            what + " file");

        // The same bytes parsed in memory: no file to read windows from, values decoded from the bytes.
        lorimar::MdfFileImage image;
        ASSERT_EQ(image.parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), MDF_OK);
        checkAllReads(
            w, image.openedFile(), [&](uint16_t n, uint32_t r, double& v) { return image.physical(n, r, v); },
            [&](uint16_t n, uint32_t f, uint32_t c, double* out) {
                return image.physicalRange(n, f, c, out);
            },
            what + " memory");
    }
}

TEST(LorimarRead, BulkReadRefusesWhatOneValueRefusesAndLeavesTheOutput) {
    vextest::TempDir dir;
    CLorimar lib;
    double out[4] = {7, 7, 7, 7};
    EXPECT_EQ(lib.GetChannelPhyData(0, 0, 1, out), MDF_ERR_NOT_OPEN);
    tMDF_FILE desc = singleGroup({channel("u", MDF_UINT, 8), channel("f", MDF_FLOAT, 32)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint8_t r = 0; r < 3; ++r) {
        lib.InputSamplingData(0, r, uint32_t{10u + r});
        lib.InputSamplingData(1, r, 0.5f * r);
    }
    ASSERT_EQ(save(lib, dir / "b.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "b.mdf"), MDF_OK);
    const uint16_t u = numberOf(lib, "u");
    const struct {
        uint16_t channel;
        uint32_t first, count, rc;
    } cases[] = {{u, 0, 4, MDF_ERR_RECORD_INDEX}, {u, 3, 1, MDF_ERR_RECORD_INDEX},
                 {u, 4, 0, MDF_ERR_RECORD_INDEX}, {u, 1, 0xFFFFFFFFu, MDF_ERR_RECORD_INDEX},
                 {2, 0, 1, MDF_ERR_CHANNEL},      {u, 3, 0, MDF_OK}};
    for (const auto& c : cases) {
        EXPECT_EQ(lib.GetChannelPhyData(c.channel, c.first, c.count, out), c.rc) << c.first << " " << c.count;
        for (const double v : out) EXPECT_EQ(v, 7);
    }
    ASSERT_EQ(lib.GetChannelPhyData(u, 1, 2, out), MDF_OK);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[1], 12);
    EXPECT_EQ(out[2], 7);
}

// Decoded runs belong to the file they were read from: after closing and opening another file, the same
// channel and record give the new file's value.
TEST(LorimarRead, ReopeningAnotherFileGivesItsOwnValues) {
    vextest::TempDir dir;
    CLorimar lib;
    for (const uint32_t base : {100u, 200u}) {
        tMDF_FILE desc = singleGroup({channel("v", MDF_UINT, 16)});
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        for (uint32_t r = 0; r < 50; ++r) lib.InputSamplingData(0, static_cast<uint8_t>(r), base + r);
        ASSERT_EQ(save(lib, dir / ("f" + std::to_string(base) + ".mdf")), MDF_OK);
    }
    for (const uint32_t base : {100u, 200u, 100u}) {
        ASSERT_EQ(open(lib, dir / ("f" + std::to_string(base) + ".mdf")), MDF_OK);
        for (uint32_t r : {0u, 17u, 49u}) {
            double v = 0;
            ASSERT_EQ(lib.GetChannelPhyData(0, r, v), MDF_OK);
            EXPECT_EQ(v, base + r);
        }
        ASSERT_EQ(lib.CloseMdfFile(), MDF_OK);
    }
}
