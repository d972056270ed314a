#pragma once
// An extension service: behaviour that runs on top of the live traffic while its window is open. The
// receive thread hands every received frame to the one service that is active at that moment.
#include "plugins/include/candevice.h"

class CExternService {
public:
    CExternService() = default;
    CExternService(const CExternService&) = delete;
    CExternService& operator=(const CExternService&) = delete;

    // Called on the receive thread, after the frame was queued for the GUI thread, for every received
    // frame while the service is active. It must return quickly and must not block: the receive thread
    // reads the device only between calls. An override guards whatever other threads also touch. The
    // base does nothing.
    virtual void OnRxMsg(const tCAN_RAW_MSG* msg) { (void)msg; }

protected:
    // The owner destroys each concrete service directly.
    ~CExternService() = default;
};
