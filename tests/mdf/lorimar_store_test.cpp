// Temporary record storage and the save: private temporary files removed on every path, checked writes,
// and a target that is replaced only by a complete file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "tests/mdf/mdftest.h"

using namespace mdftest;
namespace fs = std::filesystem;

namespace {

tMDF_FILE twoChannels() {
    return singleGroup({channel("a", MDF_UINT, 32), channel("b", MDF_DOUBLE, 64)});
}

void feed(CLorimar& lib, uint32_t records) {
    for (uint32_t r = 0; r < records; ++r) {
        lib.InputSamplingData(0, static_cast<uint8_t>(r), r);
        lib.InputSamplingData(1, static_cast<uint8_t>(r), r * 0.5);
    }
}

}  // namespace

TEST(LorimarStore, TemporaryFilesArePrivateAndRemovedOnEveryPath) {
    vextest::TempDir tmp, out;
    const ScopedTmpDir scoped(tmp.path());
    {
        CLorimar lib;
        tMDF_FILE desc = twoChannels();
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        std::vector<fs::path> folders(fs::directory_iterator(tmp.path()), fs::directory_iterator());
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(fs::status(folders[0]).permissions() & fs::perms::all, fs::perms::owner_all);
        EXPECT_TRUE(fs::exists(folders[0] / "MdfRecord.image"));
        feed(lib, 5000);
        ASSERT_EQ(save(lib, out / "ok.mdf"), MDF_OK);
        EXPECT_TRUE(isEmptyDir(tmp.path()));
        // Destroying the object in the middle of a creation removes them too (failed saves: the next test).
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        feed(lib, 10);
    }
    EXPECT_TRUE(isEmptyDir(tmp.path()));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(out.path()), fs::directory_iterator()),
              std::vector<fs::path>{out / "ok.mdf"});
    CLorimar lib;
    ASSERT_EQ(open(lib, out / "ok.mdf"), MDF_OK);
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount, 5000u);
    double v;
    ASSERT_EQ(lib.GetChannelPhyData(numberOf(lib, "b"), 4999, v), MDF_OK);
    EXPECT_EQ(v, 4999 * 0.5);
}

TEST(LorimarStore, NoTemporaryFolderMeansNoCreation) {
    vextest::TempDir dir;
    const ScopedTmpDir scoped(dir / "does-not-exist");
    CLorimar lib;
    tMDF_FILE desc = twoChannels();
    EXPECT_EQ(lib.CreateMdfFile(desc), MDF_ERR_FILE);
    EXPECT_EQ(save(lib, dir / "x.mdf"), MDF_ERR_NOT_CREATING);
    EXPECT_EQ(desc.dataGroups[0].channelGroups[0].channels[1].channelNumber, 0u);
}

TEST(LorimarStore, SaveFailuresLeaveTheTargetAlone) {
    vextest::TempDir tmp, out;
    const ScopedTmpDir scoped(tmp.path());
    vextest::writeFile(out / "file", "a regular file");
    vextest::writeFile(out / "keep.mdf", "previous contents");
    fs::create_directory(out / "folder");
    struct Case {
        const char* what;
        fs::path target;
    };
    const Case cases[] = {
        {"folder that does not exist", out / "missing" / "x.mdf"},
        {"parent is a regular file", out / "file" / "x.mdf"},
        {"target is a folder", out / "folder"},
        {"empty path", fs::path()},
        {"proc", "/proc/self/x.mdf"},
    };
    for (const Case& c : cases) {
        CLorimar lib;
        tMDF_FILE desc = twoChannels();
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        feed(lib, 3);
        EXPECT_EQ(save(lib, c.target), MDF_ERR_BUSY) << c.what;
        EXPECT_EQ(save(lib, out / "x.mdf"), MDF_ERR_NOT_CREATING) << c.what;  // back to idle
    }
    EXPECT_EQ(vextest::readFile(out / "file"), "a regular file");
    EXPECT_FALSE(fs::exists(out / "x.mdf"));
    EXPECT_TRUE(fs::is_empty(out / "folder"));
    EXPECT_TRUE(isEmptyDir(tmp.path()));

    // A successful save replaces an existing target.
    CLorimar lib;
    tMDF_FILE desc = twoChannels();
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    feed(lib, 3);
    ASSERT_EQ(save(lib, out / "keep.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, out / "keep.mdf"), MDF_OK);
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount, 3u);
}

TEST(LorimarStore, LostTemporaryRecordBytesFailTheSave) {
    vextest::TempDir tmp, out;
    const ScopedTmpDir scoped(tmp.path());
    vextest::writeFile(out / "keep.mdf", "previous contents");
    // Writes beyond 64 KiB fail with EFBIG while the limit holds, as on a full disk.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    CLorimar lib;
    tMDF_FILE desc = twoChannels();
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    feed(lib, 100000);  // 1.2 MB of records
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    ::sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(save(lib, out / "keep.mdf"), MDF_ERR_BUSY);
    EXPECT_EQ(vextest::readFile(out / "keep.mdf"), "previous contents");
    EXPECT_TRUE(isEmptyDir(tmp.path()));
}
