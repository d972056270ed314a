#pragma once
// The operator messages of the program: the last 200, each with its source, time text, level and text.
// Any thread may push; the info window pops on the GUI thread. A push into a full ring drops the oldest.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

// One message. An empty entry has three empty strings and level 0.
struct tINFO_MSG {
    std::string Source;    // who reports: "NXP-VYK", "CF51-VYK", "导入DBC文件", ...
    std::string TimeText;  // "%02d:%02d:%02d"
    uint8_t Level = 0;     // 0 normal, 1 warning, 2 error
    std::string Text;
    // Rows that belong to the message and are shown after it with its time, source and level (the
    // remarks of an import, one a row). They travel in the message's one entry, so a long report takes
    // one place in the ring, not one place a row.
    std::vector<std::string> Details;
};

class CInfoMsgRing {
public:
    static constexpr uint32_t kCapacity = 200;

    CInfoMsgRing() = default;
    CInfoMsgRing(const CInfoMsgRing&) = delete;
    CInfoMsgRing& operator=(const CInfoMsgRing&) = delete;

    // Appends one message; in a full ring the oldest message is lost.
    void Push(std::string_view timeText, std::string_view source, uint8_t level, std::string_view text);
    // The same with detail rows.
    void Push(std::string_view timeText, std::string_view source, uint8_t level, std::string_view text,
              std::vector<std::string> details);
    // Takes the oldest message out; false (and `msg` untouched) when the ring is empty.
    bool Pop(tINFO_MSG& msg);
    // Takes every message out, oldest first, appending them to `out`, and returns Dropped() as it stood
    // then, read under the same lock: a reader that keeps the previous value knows how many messages were
    // lost unread, all of them older than the ones taken now.
    uint64_t PopAll(std::vector<tINFO_MSG>& out);
    // Messages held now.
    uint32_t Count() const;
    // Messages lost to a full ring since construction; each was lost unread (popped ones are not held).
    uint64_t Dropped() const;
    // The newest warning or error (level 1 or 2) pushed so far (without its detail rows), whether or not it
    // has been popped, or the normal message (level 0) of the same source that came after it and so ended it
    // (a device that reconnected after reporting its loss). Messages of other sources and other levels leave
    // it as it is. When it changed after the state numbered `serial` (0 before the first), copies it into
    // msg, sets serial to its number and returns true; false otherwise.
    bool NewerAlert(uint64_t& serial, tINFO_MSG& msg) const;

private:
    mutable std::mutex m_lock;
    std::array<tINFO_MSG, kCapacity> m_entries;
    uint32_t m_count = 0;
    uint32_t m_readIdx = 0;
    uint32_t m_writeIdx = 0;
    uint64_t m_dropped = 0;
    tINFO_MSG m_alert;
    uint64_t m_alertSerial = 0;
};

// "%02d:%02d:%02d" of an hour, minute and second.
std::string InfoTimeText(int hour, int minute, int second);
// The same of the local time now.
std::string InfoTimeTextNow();

// Pushes a message stamped with the local time now (what the workspace's AddInfoMsg does).
void PushInfoMsgNow(CInfoMsgRing& ring, std::string_view source, uint8_t level, std::string_view text,
                    std::vector<std::string> details = {});

// Pushes one operator report of a device, stamped with the report's own time. The report's text buffer
// holds `textCapacity` bytes and need not be terminated: the text ends at the first NUL or at the end of
// the buffer, whichever comes first.
void PushDevReport(CInfoMsgRing& ring, std::string_view source, uint8_t severity, uint8_t hour,
                   uint8_t minute, uint8_t second, const char* text, size_t textCapacity);
