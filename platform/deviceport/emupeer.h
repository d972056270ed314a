#pragma once
// The emulated CAN bus as tests and the emulation's settings see it: one bus per process with two
// segments (channel 0 and channel 1), the interfaces on it, and a peer node that sends frames and records
// what the interfaces send.
//
// The two-channel interface sits on both segments (its channel N on segment N); the single-channel
// interface sits on segment 1, the channel the program calls its only one. Bus time is in nanoseconds
// since the bus came up. A frame's time is the end of its last bit; frames on a segment never overlap.
// Listeners hear a frame shortly after its end, in the order frames end on both segments.
//
// At start the environment chooses the peer's traffic and which interfaces are plugged in (README); a test
// calls peer::Reset() first to get a silent bus that it controls entirely.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/deviceport/emuframe.h"

namespace vex::emu {

enum class Interface { Cf51, TwoChannel };
enum class Origin { Peer, Cf51, TwoChannel };

struct SeenFrame {
    int segment = 0;
    Frame frame;
    int64_t busTimeNs = 0;
    Origin origin = Origin::Peer;
};

// A control call as the single-channel interface received it.
struct ControlCall {
    uint32_t code = 0;
    std::vector<uint8_t> in;
};

// How fast a burst goes: back to back at the segment's bit rate in real time, or as fast as the receiving
// interfaces take frames (bus time then runs ahead of the clock; for benchmarks).
enum class Pace { BusRate, Fast };

// Frames a node's controller holds per segment that have not ended on the bus yet (waiting for the bus or
// on it). What a node sends beyond that is not queued: a host's send is refused as busy (the host tries
// again or reports it), the peer's frames and the interfaces' periodic frames are skipped and counted
// (UnsentFrames).
inline constexpr size_t kTxQueueFrames = 32;

namespace peer {

// No peer traffic and nothing in flight, no recording, both interfaces plugged in, bit rates following
// the interfaces, logs and counters cleared. Call it while no interface is open.
void Reset();
// The periodic frames that the program finds on the bus by default (also chosen by the environment).
void UseDefaultTraffic();

void SendOnce(int segment, const Frame& frame);
// Sends `frame` every periodMs (1 ms at least), `count` times or, with count 0, until removed. With
// rollingCounter, data byte 0 counts up by one per transmission. Returns the entry's handle.
int AddPeriodic(int segment, const Frame& frame, uint32_t periodMs, uint32_t count = 0,
                bool rollingCounter = false);
bool RemovePeriodic(int handle);
void ClearPeriodic();

// Sends count frames made by make(index), index 0 first, back to back on the segment.
void SendBurst(int segment, uint32_t count, std::function<Frame(uint32_t)> make, Pace pace = Pace::BusRate);
// True once every burst has been sent and every frame put on the bus so far has reached its listeners
// (which happens within about a millisecond of a frame's end), waiting at most timeoutMs.
bool WaitIdle(uint32_t timeoutMs);

// Recording of the frames that the interfaces put on the bus (the peer's own are not recorded); at most
// 1,000,000 are kept, later ones are counted in RecordDropped.
void SetRecording(bool on);
std::vector<SeenFrame> Received();
void ClearReceived();
uint64_t RecordDropped();

void Unplug(Interface which);
void Replug(Interface which);
bool IsPlugged(Interface which);

// Holds a segment (true) or lets it go (false), as a node that keeps the bus busy would: while it is held
// nothing starts on it; frames queued meanwhile wait, count as pending and fill their sender's transmit
// queue, and go out back to back when it is let go. A frame already on the bus ends as planned. Fast
// bursts run on a time line of their own and are not held. Reset lets both segments go.
void HoldSegment(int segment, bool hold);

// Fixes a segment's bit rate; 0 lets it follow the interface that opened its bus last (500 kbit/s before).
void SetBitRate(int segment, uint32_t bitsPerSecond);
uint32_t BitRate(int segment);

// A bus error on the segment as the interfaces on it see it: the single-channel interface sends an error
// record, and each listening controller's receive error counter rises by 8.
void InjectBusError(int segment);

// Frames an interface had to drop because its receive buffer was full, since the last Reset.
uint64_t DroppedFrames(Interface which);
// Frames (and, on the single-channel interface, records) an interface holds that its host has not taken yet.
size_t Untaken(Interface which);
// Frames a node skipped because its transmit queue was full, since the last Reset.
uint64_t UnsentFrames(Origin who);
// Frames of the segment that wait for the bus or are on it now, from every node.
size_t PendingFrames(int segment);
// The single-channel interface's last control calls (up to 64), oldest first.
std::vector<ControlCall> Cf51ControlCalls();
// The single-channel interface fails its next `count` control calls with a general failure (31).
void FailCf51ControlCalls(uint32_t count);
// How often a driver asked for the present devices of an interface class, since the last Reset.
uint64_t DeviceQueries();

int64_t BusTimeNs();

}  // namespace peer
}  // namespace vex::emu
