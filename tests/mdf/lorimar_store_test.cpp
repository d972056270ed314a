// Temporary record storage and the save: private temporary files removed on every path, checked writes,
// and a target that is replaced only by a complete file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

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

TEST(LorimarStore, TheRecordStoreHasNoNameAndGoesOnEveryPath) {
    vextest::TempDir tmp, out;
    const ScopedTmpDir scoped(tmp.path());
    {
        CLorimar lib;
        tMDF_FILE desc = twoChannels();
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        feed(lib, 5000);
        // Unnamed, it goes with the process however that ends.
        EXPECT_TRUE(isEmptyDir(tmp.path()));
        ASSERT_EQ(save(lib, out / "ok.mdf"), MDF_OK);
        EXPECT_TRUE(isEmptyDir(tmp.path()));
        // Destroying the object in the middle of a creation leaves nothing either.
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

// The file a failure is about, and the system's reason: the record store in a full temporary folder, a
// target that cannot be written, a file that cannot be opened.
TEST(LorimarStore, FailuresNameTheirFileAndReason) {
    vextest::TempDir tmp, out;
    vextest::writeFile(out / "keep.mdf", "previous contents");
    {
        const FailingTmpDir full(tmp.path());
        CLorimar lib;
        tMDF_FILE desc = twoChannels();
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        feed(lib, 10000);
        EXPECT_EQ(save(lib, out / "keep.mdf"), MDF_ERR_BUSY);
        EXPECT_TRUE(lib.LastFileError().temporaryStore);
        EXPECT_EQ(lib.LastFileError().path, tmp.path().string());
        EXPECT_EQ(lib.LastFileError().reason, full.reason());
    }
    EXPECT_EQ(vextest::readFile(out / "keep.mdf"), "previous contents");

    const ScopedTmpDir scoped(tmp.path());
    CLorimar lib;
    tMDF_FILE desc = twoChannels();
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    feed(lib, 3);
    EXPECT_EQ(save(lib, out / "missing" / "x.mdf"), MDF_ERR_BUSY);
    EXPECT_FALSE(lib.LastFileError().temporaryStore);
    EXPECT_EQ(lib.LastFileError().path, (out / "missing" / "x.mdf").string());
    EXPECT_EQ(lib.LastFileError().reason, "No such file or directory");
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    ASSERT_EQ(save(lib, out / "ok.mdf"), MDF_OK);
    EXPECT_EQ(lib.LastFileError().reason, "");

    const fs::path fifo = out / "fifo.mdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        fs::path path;
        const char* reason;
    } refused[] = {{fifo, "Not a regular file"},
                   {"/dev/zero", "Not a regular file"},
                   {out.path(), "Not a regular file"},
                   {out / "none.mdf", "No such file or directory"}};
    for (const auto& r : refused) {
        EXPECT_EQ(open(lib, r.path), MDF_ERR_FILE) << r.path;
        EXPECT_EQ(lib.LastFileError().path, r.path.string());
        EXPECT_EQ(lib.LastFileError().reason, r.reason) << r.path;
    }
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
