#include "platform/util/utils.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <atomic>
#include <clocale>
#include <cstring>
#include <filesystem>

#include "platform/util/fileread.h"
#include "platform/util/filewrite.h"
#include "tests/common/testsupport.h"

namespace {

// Moves by a fixed step every time it is read, so a busy wait ends after a known number of reads.
class SteppingClock final : public vex::Clock {
public:
    SteppingClock(int64_t frequency, int64_t step) : m_frequency(frequency), m_step(step) {}
    int64_t Ticks() const override {
        ++m_reads;
        m_ticks = m_ticks > INT64_MAX - m_step ? INT64_MAX : m_ticks + m_step;
        return m_ticks;
    }
    int64_t Frequency() const override { return m_frequency; }
    int64_t ticks() const { return m_ticks; }
    int64_t reads() const { return m_reads; }

private:
    int64_t m_frequency, m_step;
    mutable int64_t m_ticks = 0, m_reads = 0;
};

}  // namespace

TEST(Utils, DoubleToStr) {
    struct {
        double value;
        const char* text;
    } cases[] = {
        {1.5, "1.5"},
        {2.0, "2"},
        {10.0, "10"},
        {100.0, "100"},
        {0.0, "0"},
        {-0.25, "-0.25"},
        {0.1, "0.1"},
        {0.3, "0.3"},
        {1e-16, "0"},
        {-1e-16, "-0"},
        {123456.000001, "123456.000000999993063"},
        {1e20, "100000000000000000000"},
        {0.000000000000001, "0.000000000000001"},
        {-4294967295.0, "-4294967295"},
    };
    for (const auto& c : cases) EXPECT_EQ(DoubleToStr(c.value), c.text) << c.value;
    // A decimal comma locale does not change the text.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(DoubleToStr(1.5), "1.5");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(Utils, CopyStrToBuf) {
    struct {
        const char* text;
        int32_t n;
        const char* buffer;  // 8 bytes after the copy, starting from "........"
    } cases[] = {
        {"abc", 8, "abc....."},        {"abc", 2, "ab......"},  {"abc", 3, "abc....."},
        {"abc", 0, "........"},        {"abc", -5, "........"}, {"", 8, "........"},
        {"abcdefghij", 8, "abcdefgh"},
    };
    for (const auto& c : cases) {
        char buffer[9] = "........";
        CopyStrToBuf(c.text, buffer, c.n);
        EXPECT_STREQ(buffer, c.buffer) << c.text << " " << c.n;
    }
}

TEST(Utils, DirectoriesAreTestedAndCreatedOneLevelAtATime) {
    vextest::TempDir dir;
    vextest::writeFile(dir / "file", "x");
    EXPECT_TRUE(DirExists(dir.path().string()));
    EXPECT_FALSE(DirExists((dir / "file").string()));
    EXPECT_FALSE(DirExists((dir / "nothing").string()));
    EXPECT_FALSE(DirExists(""));
    EXPECT_TRUE(CreateDir((dir / "cfg").string()));
    EXPECT_TRUE(DirExists((dir / "cfg").string()));
    EXPECT_FALSE(CreateDir((dir / "cfg").string()));      // exists already
    EXPECT_FALSE(CreateDir((dir / "a" / "b").string()));  // parents are not created
    EXPECT_FALSE(CreateDir((dir / "file" / "x").string()));
}

TEST(Utils, ProductVersionComesFromTheBuild) {
    const std::string v = GetProductVersion();
    EXPECT_NE(v, "*");
    EXPECT_FALSE(v.empty());
    EXPECT_EQ(v.find_first_not_of("0123456789."), std::string::npos) << v;
}

TEST(Utils, PreciseWaitMsOnAnInjectedClock) {
    {
        SteppingClock clock(1000, 1);  // 1 ms per read
        PreciseWaitMs(0, clock);
        EXPECT_EQ(clock.reads(), 0);
    }
    {
        SteppingClock clock(1000, 1);
        PreciseWaitMs(250, clock);
        EXPECT_EQ(clock.ticks(), 1 + 250);  // start, then reads until start + 250
    }
    {
        SteppingClock clock(1'000'000, 1000);
        PreciseWaitMs(15000, clock);  // capped at 10 s
        EXPECT_EQ(clock.ticks() - 1000, 10'000'000);
    }
    {
        SteppingClock clock(0, 1);  // no usable frequency: return
        PreciseWaitMs(100, clock);
        EXPECT_LE(clock.reads(), 1);
    }
    {
        // A frequency so high that frequency x ms overflows 64 bits: the target saturates, no overflow.
        SteppingClock clock(INT64_MAX / 1000, INT64_MAX / 8);
        PreciseWaitMs(10000, clock);
        EXPECT_EQ(clock.ticks(), 2 * (INT64_MAX / 8));
        SteppingClock fastest(INT64_MAX, INT64_MAX / 8);  // the target itself saturates
        PreciseWaitMs(10000, fastest);
        EXPECT_EQ(fastest.ticks(), INT64_MAX);
    }
}

TEST(Utils, PreciseWaitMsOnTheSystemClock) {
    const vex::Clock& clock = vex::SystemClock();
    const double start = clock.NowMs();
    PreciseWaitMs(20);
    EXPECT_GE(clock.NowMs() - start, 20.0);
}

TEST(FileWrite, ReplacesWholeOrNotAtAll) {
    vextest::TempDir dir;
    const auto target = dir / "f.txt";
    EXPECT_EQ(WriteFileReplacing(target.string(), "first"), 0);
    EXPECT_EQ(vextest::readFile(target), "first");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0600,
              0u);  // a new file is readable and writable by its owner, not 0600-only by chance
    EXPECT_EQ(WriteFileReplacing(target.string(), "second, longer"), 0);
    EXPECT_EQ(vextest::readFile(target), "second, longer");
    EXPECT_EQ(WriteFileReplacing((dir / "no" / "f.txt").string(), "x"), ENOENT);
    EXPECT_EQ(WriteFileReplacing((target / "x").string(), "x"), ENOTDIR);
    EXPECT_EQ(ErrorText(ENOENT), "No such file or directory");
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
    EXPECT_EQ(n, 1u);
}

// The failure paths every writer of the program shares: each leaves the target as it was and no temporary
// file behind, and is reported as an errno.
TEST(FileWrite, FailuresLeaveTheTargetAndNoTemporary) {
    vextest::TempDir dir;
    const auto target = dir / "f.txt";
    ASSERT_EQ(WriteFileReplacing(target.string(), "kept"), 0);
    auto onlyTarget = [&] {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
        return n == 1 && vextest::readFile(target) == "kept";
    };

    // Past the file-size limit: EFBIG, not the end of the process (the writer ignores SIGXFSZ itself).
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 3;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int tooBig = WriteFileReplacing(target.string(), "longer than three bytes");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(tooBig, EFBIG);
    EXPECT_TRUE(onlyTarget());

    // A read-only file is refused, not replaced (also for root, who may write anything).
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    EXPECT_EQ(WriteFileReplacing(target.string(), "new"), EACCES);
    EXPECT_TRUE(onlyTarget());
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);

    // A writer dropped before Commit, or told of a failure, leaves nothing.
    {
        vex::AtomicFile file;
        ASSERT_EQ(file.Open(target.string()), 0);
        file.Write("abandoned");
    }
    EXPECT_TRUE(onlyTarget());
    vex::AtomicFile failing;
    ASSERT_EQ(failing.Open(target.string()), 0);
    failing.Write("half");
    failing.Fail(EIO);
    EXPECT_EQ(failing.Commit(), EIO);
    EXPECT_TRUE(onlyTarget());
}

// Files larger than the writeback step go to the disk while they are written: every byte arrives, in order,
// and a writer reused for the next file starts that file afresh.
TEST(FileWrite, LargeFilesWrittenInPiecesArriveWhole) {
    vextest::TempDir dir;
    const auto target = dir / "big.bin";
    const size_t piece = size_t{1} << 20;
    const size_t pieces = vex::AtomicFile::kWritebackBytes / piece * 2 + 3;
    std::string chunk(piece, '\0');
    vex::AtomicFile file;
    ASSERT_EQ(file.Open(target.string()), 0);
    for (size_t p = 0; p < pieces; ++p) {
        for (size_t i = 0; i < piece; i += 4096) chunk[i] = static_cast<char>('a' + p % 26);
        ASSERT_EQ(file.Write(chunk), 0);
    }
    ASSERT_EQ(file.Commit(), 0);
    const std::string read = vextest::readFile(target);
    ASSERT_EQ(read.size(), pieces * piece);
    for (size_t p = 0; p < pieces; ++p)
        EXPECT_EQ(read[p * piece + 4096], static_cast<char>('a' + p % 26)) << p;

    ASSERT_EQ(file.Open(target.string()), 0);
    ASSERT_EQ(file.Write("small"), 0);
    ASSERT_EQ(file.Commit(), 0);
    EXPECT_EQ(vextest::readFile(target), "small");
}

// The temporary has no name while it is written, so nothing is left beside the target whatever ends the
// writer; at Commit a replaced file keeps its mode and a symbolic link is written through.
TEST(FileWrite, TheTemporaryHasNoNameUntilCommit) {
    vextest::TempDir dir;
    const auto target = dir / "f.txt";
    auto names = [&] {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    };
    vex::AtomicFile file;
    ASSERT_EQ(file.Open(target.string()), 0);
    ASSERT_EQ(file.Write("new file"), 0);
    EXPECT_EQ(names(), std::vector<std::string>{});
    ASSERT_EQ(file.Commit(), 0);
    EXPECT_EQ(vextest::readFile(target), "new file");

    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::filesystem::create_symlink("f.txt", dir / "link");
    ASSERT_EQ(file.Open((dir / "link").string()), 0);
    ASSERT_EQ(file.Write("through the link"), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"f.txt", "link"}));
    EXPECT_EQ(vextest::readFile(target), "new file");
    ASSERT_EQ(file.Commit(), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"f.txt", "link"}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(vextest::readFile(target), "through the link");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A named temporary listed in the journal of a process that is gone is removed by the next sweep, with the
// journal; one of a live process, and any file not named as a temporary, is left alone.
TEST(FileWrite, SweepRemovesTheNamedTemporariesOfEndedProcesses) {
    vextest::TempDir tmp, dir;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    const std::string temp = (dir / ".vexsave-AbC123").string();
    const std::string other = (dir / "user.txt").string();
    vextest::writeFile(other, "mine");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        vex::ListNamedTemporary(temp);
        vex::ListNamedTemporary(other);
        vextest::writeFile(temp, "half written");
        (void)!::write(ready[1], "r", 1);
        for (;;) ::pause();
    }
    ASSERT_GT(child, 0);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    vex::SweepStaleTemporaries();
    EXPECT_TRUE(std::filesystem::exists(temp));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 1);  // its journal
    vex::SweepStaleTemporaries();
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_EQ(vextest::readFile(other), "mine");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 0);
    ::close(ready[0]);
    ::close(ready[1]);
    if (old != nullptr)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

// Inputs loaded whole: a regular file arrives byte for byte; what is not a regular file (a device that never
// ends, a FIFO nobody writes to, a folder) or is larger than the bound is refused at once with its reason,
// and the caller's buffer keeps what it held.
TEST(FileRead, RegularFilesWithinTheBoundOnly) {
    vextest::TempDir dir;
    const auto file = dir / "f.xml";
    vextest::writeFile(file, std::string("a\0b", 3));
    std::string out = "previous";
    EXPECT_EQ(vex::ReadInputFile(file.string(), 3, out), "");
    EXPECT_EQ(out, std::string("a\0b", 3));
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        size_t max;
        std::string reason;
    } refused[] = {
        {file.string(), 2, "File larger than 2 bytes"},
        {"/dev/zero", vex::kMaxInputFileBytes, "Not a regular file"},
        {fifo.string(), vex::kMaxInputFileBytes, "Not a regular file"},
        {dir.path().string(), vex::kMaxInputFileBytes, "Not a regular file"},
        {(dir / "missing").string(), 10, "No such file or directory"},
    };
    for (const auto& r : refused) {
        out = "kept";
        EXPECT_EQ(vex::ReadInputFile(r.path, r.max, out), r.reason) << r.path;
        EXPECT_EQ(out, "kept") << r.path;
    }
    // A reader that takes streams gets the FIFO at once, non-blocking; a folder never.
    std::string reason;
    const int fd = vex::OpenInputFile(fifo.string(), reason, false);
    ASSERT_GE(fd, 0);
    char byte;
    EXPECT_EQ(::read(fd, &byte, 1), 0);  // no writer: the end at once
    ::close(fd);
    EXPECT_EQ(vex::OpenInputFile(dir.path().string(), reason, false), -1);
    EXPECT_EQ(reason, "Is a directory");
}
