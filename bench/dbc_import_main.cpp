// DBC import as the user meets it: the first import in a fresh process (the database list's import command
// runs once in a program that has not read a DBC file before), and warm, repeated in one process.
//
//   bench_dbc_import [--reps N] [file.dbc | folder]...
//
// With no file, every .dbc file of the real-world test data. Per file: its size, what it holds, the first
// import in each of N fresh processes (this program started again with --first) and N warm imports after one
// untimed import, each as p50/p95 over the N runs, the warm rate at p50, the minor page faults of a first
// import, and a digest of everything imported (so two builds can be checked to import the same). The last
// lines sum the p50s over all files and repeat the largest file's figures.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "candb/dbcfile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// FNV-1a over every field of the import, in order.
class Digest {
public:
    void add(const void* data, size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) m_hash = (m_hash ^ p[i]) * 0x100000001B3ull;
    }
    void add(const std::string& s) {
        add(s.size());
        add(s.data(), s.size());
    }
    template <typename T>
    void add(const T& value) {
        add(&value, sizeof value);
    }
    void add(const tCAN_SIGNAL_ENUM& e) {
        add(e.Name);
        add(e.Items.size());
        for (const tCAN_SIGNAL_ENUM_ITEM& item : e.Items) {
            add(item.txt);
            add(item.val);
        }
    }
    void add(const CCanMsg& m) {
        add(m.Name);
        add(m.id);
        add(m.Ext);
        add(m.Rmt);
        add(m.DL);
        add(m.Signals.size());
        for (const CCanSignal& s : m.Signals) {
            add(s.Name);
            add(s.Unit);
            for (uint8_t b : {s.Sign, s.ByteFmtIntel, s.Enum, s.BitLen, s.BitOffset}) add(b);
            for (double d : {s.ValFactor, s.ValOffset, s.PhyMin, s.PhyMax, s.ErrValue}) add(d);
            add(s.Description);
            add(s.SigEnum);
        }
    }
    void add(const tDBC_IMPORT& import, uint32_t result) {
        add(result);
        add(import.LineNo);
        add(import.Name);
        const tCAN_DATABASE& db = import.Database;
        for (const std::string* s : {&db.FileVer, &db.Author, &db.ProDes, &db.RightDes, &db.LastEditDateTime})
            add(*s);
        add(db.FreeSigMsg);
        add(db.Messages.size());
        for (const CCanMsg& m : db.Messages) add(m);
        add(db.Enums.size());
        for (const tCAN_SIGNAL_ENUM& e : db.Enums) add(e);
    }
    uint64_t value() const { return m_hash; }

private:
    uint64_t m_hash = 0xCBF29CE484222325ull;
};

// The child: one import, the first of this process. Prints "<ms> <minor faults>".
int firstImport(const char* path) {
    tDBC_IMPORT import;
    const long faults = minorFaults();
    const auto start = Clock::now();
    const uint32_t result = ParseDbcFile(import, path);
    const double ms = msSince(start);
    std::printf("%.4f %ld\n", ms, minorFaults() - faults);
    return result == kDbcOk ? 0 : 1;
}

// Runs this program with --first on the file and reads its line.
bool spawnFirst(const char* self, const std::string& path, double& ms, long& faults) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const char* argv[] = {self, "--first", path.c_str(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, self, &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; rc == 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    close(pipeFds[0]);
    if (rc != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return std::sscanf(out.c_str(), "%lf %ld", &ms, &faults) == 2;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct FileResult {
    std::string name;
    uintmax_t size = 0;
    double firstP50 = 0, firstP95 = 0, warmP50 = 0, warmP95 = 0;
    long faults = 0;
};

void printRow(const FileResult& r) {
    const double mbs = r.warmP50 > 0 ? static_cast<double>(r.size) / 1e6 / (r.warmP50 / 1e3) : 0;
    std::printf(
        "  first p50 %8.3f ms  p95 %8.3f ms  |  warm p50 %8.3f ms  p95 %8.3f ms  %7.1f MB/s  | %6ld faults\n",
        r.firstP50, r.firstP95, r.warmP50, r.warmP95, mbs, r.faults);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--first") == 0) return firstImport(argv[2]);

    int reps = 9;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(5, std::atoi(argv[++i]));
        } else if (fs::is_directory(argv[i])) {
            for (const auto& e : fs::directory_iterator(argv[i]))
                if (e.path().extension() == ".dbc") files.push_back(e.path());
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (argc == 1 || files.empty()) {
        const char* env = std::getenv("VEX_TESTDATA");
        const fs::path dir = fs::path(env ? env : VEX_TESTDATA_DIR) / "dbc";
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec))
            if (e.path().extension() == ".dbc") files.push_back(e.path());
        if (files.empty()) {
            std::fprintf(stderr, "no DBC files given and none in %s\n", dir.c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    const std::string self = fs::canonical("/proc/self/exe").string();

    std::vector<FileResult> results;
    double firstSum = 0, warmSum = 0;
    uintmax_t bytes = 0;
    int failures = 0;
    for (const fs::path& path : files) {
        FileResult r;
        r.name = path.filename().string();
        std::error_code ec;
        r.size = fs::file_size(path, ec);

        std::vector<double> first, warm;
        std::vector<double> faults;
        for (int i = 0; i < reps; ++i) {
            double ms = 0;
            long f = 0;
            if (!spawnFirst(self.c_str(), path.string(), ms, f)) {
                std::fprintf(stderr, "%s: first import failed\n", r.name.c_str());
                ++failures;
                break;
            }
            first.push_back(ms);
            faults.push_back(static_cast<double>(f));
        }
        tDBC_IMPORT import;
        const uint32_t result = ParseDbcFile(import, path.string());
        Digest digest;
        digest.add(import, result);
        for (int i = 0; i < reps; ++i) {
            tDBC_IMPORT again;
            const auto start = Clock::now();
            ParseDbcFile(again, path.string());
            warm.push_back(msSince(start));
        }
        if (first.empty()) continue;
        r.firstP50 = percentile(first, 0.5);
        r.firstP95 = percentile(first, 0.95);
        r.warmP50 = percentile(warm, 0.5);
        r.warmP95 = percentile(warm, 0.95);
        r.faults = static_cast<long>(percentile(faults, 0.5));
        size_t signals = import.Database.FreeSigMsg.Signals.size();
        for (const CCanMsg& m : import.Database.Messages) signals += m.Signals.size();
        std::printf("%-36s %8ju B  result %u  %5zu msgs %6zu sigs %5zu tables  digest %016" PRIx64 "\n",
                    r.name.c_str(), r.size, result, import.Database.Messages.size(), signals,
                    import.Database.Enums.size(), digest.value());
        printRow(r);
        firstSum += r.firstP50;
        warmSum += r.warmP50;
        bytes += r.size;
        results.push_back(r);
    }
    if (results.empty()) return 1;
    std::printf("\n%zu files, %ju bytes, %d repetitions each\n", results.size(), bytes, reps);
    std::printf("all files, sum of p50: first %.3f ms, warm %.3f ms (%.1f MB/s)\n", firstSum, warmSum,
                static_cast<double>(bytes) / 1e6 / (warmSum / 1e3));
    const auto largest = std::max_element(results.begin(), results.end(),
                                          [](const auto& a, const auto& b) { return a.size < b.size; });
    std::printf("largest: %s (%ju bytes)\n", largest->name.c_str(), largest->size);
    printRow(*largest);
    return failures == 0 ? 0 : 1;
}
