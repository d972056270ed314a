// A process for the tests to kill with SIGKILL part way through its work:
//   kill_child logger <folder>         logs one frame every 50 ms through the continuous logger (a drain
//                                      tick after each) and prints the number of frames handed over so far
//   kill_child temps <fifo> <folder>   holds every kind of temporary file at once: an MDF log being written
//                                      (Lorimar's record store), a file being replaced in <folder>, and a
//                                      text log being parsed from <fifo>, which never ends
// Both run until they are killed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "logging/canmsgasctxtfile.h"
#include "logging/canmsgdatalog.h"
#include "logging/canmsgmdflogfile.h"
#include "platform/util/filewrite.h"
#include "tests/logging/logtest.h"

namespace {

int logger(const std::string& folder) {
    CInfoMsgRing info;
    CCanMsgDataLog log(info, folder);
    if (!log.Start("K")) {
        std::fprintf(stderr, "%s\n", log.LastError().c_str());
        return 1;
    }
    for (uint32_t i = 0;; ++i) {
        log.WriteMsg(logtest::Frame(i, i * 50.0));
        log.OnDrainTick();
        std::printf("%u\n", i + 1);
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int temps(const std::string& fifo, const std::string& folder) {
    CCanMsgMdfLogFile mdf;
    if (!mdf.OpenWrite(folder + "/trace.log")) return 1;
    for (uint32_t i = 0; i < 5000; ++i) mdf.WriteMsg(logtest::Frame(i, i * 1.0));
    vex::AtomicFile replaced;
    if (replaced.Open(folder + "/kept.txt") != 0) return 1;
    replaced.Write(std::string(size_t{1} << 20, 'x'));
    CCanMsgAscTxtFile text;
    uint32_t count = 0;
    double duration = 0.0;
    text.OpenRead(fifo, count, duration);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "logger") == 0) return logger(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "temps") == 0) return temps(argv[2], argv[3]);
    std::fprintf(stderr, "usage: kill_child logger <folder> | temps <fifo> <folder>\n");
    return 2;
}
