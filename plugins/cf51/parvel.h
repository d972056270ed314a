#pragma once
// Parvel: the single-channel USB CAN interface as a CCanDevice. Its one channel is channel 1 everywhere:
// frames read carry channel 1, the bus load is reported as channel 1's, the bit rate comes from channel 1's
// configuration. All objects share the module's one driver object; the program makes one.
#include "plugins/common/vykdevice.h"

class CCanDeviceVykCf51 : public CCanDeviceVyk {
public:
    CCanDeviceVykCf51();
    ~CCanDeviceVykCf51() override;

    uint32_t DeviceOpen() override;   // 0 opened, 1 failed (reported)
    uint32_t DeviceClose() override;  // 0 closed, 1 failed (reported)
    // 0 open and receiving; 1 bus open failed after 5 tries (reported); 2 reception did not start.
    uint32_t BusOpen() override;
    uint32_t BusClose() override;  // 0 closed, 1 failed after 5 tries 50 ms apart (reported)
    uint32_t Write(const tCAN_RAW_MSG& msg) override;  // 0 queued, 1 refused
    uint32_t Read(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count) override;
    uint32_t AddCycTxMsg(const tCAN_CYCTX_MSG& msg) override;  // 0 done, 1 failed; each reported
    uint32_t RmvCycTxMsg(const tCAN_CYCTX_MSG& msg) override;
    uint32_t UpdateCycTxMsgPeriod(const tCAN_CYCTX_MSG& msg) override;
    uint32_t UpdateCycTxMsgData(const tCAN_CYCTX_MSG& msg) override;
    uint32_t GetBusStatus(tCAN_DEV_STATUS& status) override;  // channel 1's bus load, the rest 0

private:
    bool m_receiving = false;  // this object's event is in the driver's hands
};
