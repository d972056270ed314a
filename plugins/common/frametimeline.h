#pragma once
// The time line of the frames a device hands on. A device stamps frames with its own clock, which starts
// again when the device comes back after a loss (it lost power). Frames of a later connection are moved
// onto the time line of the frames before, so times stay ascending across a reconnection and the gap in
// them is the time that passed: the host clock tells how far the time line had got when the first frames
// after the reconnection were read.
//
// The host's view of the time line is the least lag (host time of a read minus the newest frame time it
// gave) over the reads of the last one to two seconds: the least delayed reads, recent enough that drift
// between the device's clock and the host's does not count.
#include <cstdint>

#include "plugins/include/candevice.h"

class CFrameTimeLine {
public:
    // A new bus session whose frames come from `connection`: they keep the device's times.
    void Start(uint32_t connection);
    // The `count` frames of one read, all from `connection`, read at host time `hostMs` (any clock that
    // only moves forward, in milliseconds): their times are set on the time line in place. Frames of the
    // connection of the last read keep their distance to it; the first frames of another connection follow
    // the last frame handed on by the host time that passed, and never come before it. With no frame
    // handed on before, there is nothing to follow and the device's times stand.
    void Apply(tCAN_RAW_MSG* msgs, int32_t count, uint32_t connection, double hostMs);

private:
    void Sample(double lag, double hostMs);
    double Lag() const;

    uint32_t m_connection = 0;
    double m_offset = 0.0;  // added to the device's times of m_connection
    bool m_handedOn = false;
    double m_last = 0.0;  // the newest time handed on
    double m_lagNow = 0.0;
    double m_lagBefore = 0.0;
    double m_windowStart = 0.0;
};
