#pragma once
// Morvan: the two-channel USB CAN interface as a CCanDevice, over the interface's own driver library
// VYK7M_NXP. Frames carry channel 0 or 1; GetBusStatus reports both channels. All objects share the
// module's one driver object; the program makes one.
#include "plugins/common/vykdevice.h"

class CCanDeviceVykNxp : public CCanDeviceVyk {
public:
    CCanDeviceVykNxp();
    ~CCanDeviceVykNxp() override;

    uint32_t DeviceOpen() override;   // 0 opened, 1 failed (reported)
    uint32_t DeviceClose() override;  // 0 closed, 1 failed (reported)
    // 0 open and receiving; 1 bus open failed after 5 tries (reported); 2 reception did not start.
    uint32_t BusOpen() override;
    uint32_t BusClose() override;  // 0 closed, 1 failed after 5 tries 50 ms apart (reported)
    uint32_t Write(const tCAN_RAW_MSG& msg) override;  // on msg.Chan; 0 queued, 1 refused
    uint32_t Read(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count) override;
    uint32_t AddCycTxMsg(const tCAN_CYCTX_MSG& msg) override;  // 0 done, 1 failed; each reported
    uint32_t RmvCycTxMsg(const tCAN_CYCTX_MSG& msg) override;
    uint32_t UpdateCycTxMsgPeriod(const tCAN_CYCTX_MSG& msg) override;
    uint32_t UpdateCycTxMsgData(const tCAN_CYCTX_MSG& msg) override;
    uint32_t GetBusStatus(tCAN_DEV_STATUS& status) override;

private:
    bool m_receiving = false;  // this object's event is in the driver's hands
};

// The words BusOpen gives the driver library for the two channels' configurations:
// {channel 0 word, channel 0 timing word, channel 1 word, channel 1 timing word}.
void NxpConfigWords(const tCAN_DEV_CHAN_CFG (&chan)[2], uint16_t words[4]);
