// Imports the DBC files given on the command line and prints, per file, the result, messages (the
// free-signal message counted apart), signals, value tables and the import time in microseconds.
#include <chrono>
#include <cstdio>
#include <string>

#include "candb/dbcfile.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s file.dbc...\n", argv[0]);
        return 2;
    }
    int failures = 0;
    std::printf("%-48s %6s %8s %8s %8s %8s %10s\n", "file", "result", "messages", "free", "signals", "tables",
                "us");
    for (int i = 1; i < argc; ++i) {
        tDBC_IMPORT import;
        const auto start = std::chrono::steady_clock::now();
        const uint32_t result = ParseDbcFile(import, argv[i]);
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        const tCAN_DATABASE& db = import.Database;
        size_t signals = db.FreeSigMsg.Signals.size();
        for (const CCanMsg& m : db.Messages) signals += m.Signals.size();
        if (result != kDbcOk) ++failures;
        std::printf("%-48s %6u %8zu %8zu %8zu %8zu %10lld", import.Name.c_str(), result, db.Messages.size(),
                    db.FreeSigMsg.Signals.size(), signals, db.Enums.size(),
                    static_cast<long long>(us.count()));
        if (result != kDbcOk) std::printf("  (stopped at line %d)", import.LineNo);
        std::printf("\n");
    }
    return failures == 0 ? 0 : 1;
}
