#pragma once
// Helpers of the trace window suites: a data hub over a default configuration, with numbered frames
// pushed into its trace.
#include <cstdint>

#include "app/canmsgdatahub.h"
#include "config/appcfg.h"
#include "tests/app/hubtest.h"

namespace tracetest {

struct HubRig {
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub{cfg, info};
    uint32_t pushed = 0;

    // n frames numbered on from the last: identifier 0x100 + number % keys on channel 0, the number as
    // the time stamp, data 01 02.
    void Push(uint32_t n, uint32_t keys) {
        for (uint32_t i = 0; i < n; ++i, ++pushed) {
            hub.AddToTraceMap(hubtest::Frame(0x100 + pushed % keys, 0, 0, pushed, {1, 2}));
        }
    }
};

}  // namespace tracetest
