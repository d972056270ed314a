#pragma once
// Shared set-up of the hub benchmarks: a configuration with the largest real DBC loaded, a few graphed
// signals and both filters on; a logger that only counts; frames cycling over the database's messages;
// and a count of the heap allocations made by the threads that ask for it.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/canmsgdatahub.h"
#include "app/canmsglogsink.h"
#include "config/appcfg.h"

namespace hubbench {

// Heap allocations made while a thread had counting on.
extern std::atomic<uint64_t> g_allocations;
void CountAllocationsOnThisThread(bool on);

// Loads the DBC into cfg and sets graph and filters; false (with why) when the file is absent.
bool SetUpRealisticConfig(CAppCfg& cfg, std::string& why);
// count frames cycling over the messages of cfg's database, with varying data.
std::vector<tCAN_RAW_MSG> MakeFrames(const CAppCfg& cfg, uint32_t count);

class CountingSink final : public ICanMsgLogSink {
public:
    bool Start(const std::string&) override { return m_open = true; }
    void WriteMsg(const tCAN_RAW_MSG&) override { m_written += m_open ? 1 : 0; }
    void Stop() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    uint64_t Written() const { return m_written; }

private:
    bool m_open = false;
    uint64_t m_written = 0;
};

// The realistic configuration with a hub over it, logging every frame that passes the log filter into a
// counting logger.
struct HubRig {
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub{cfg, info};
    CountingSink sink;
    tCAN_SIG_SAMPLE_DATA sample;

    // Loads the configuration and resets the hub; false with why when the database is absent.
    bool SetUp(std::string& why);
    // Takes every sample out, as the graph does on its tick.
    void PopSamples();
};

}  // namespace hubbench
