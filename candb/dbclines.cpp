#include "candb/dbclines.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/textcodec.h"

namespace vexdbc {

using sv = std::string_view;

size_t AsciiPrefix(sv text) {
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    const char* p = text.data();
    const size_t n = text.size();
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        uint64_t words[4];
        std::memcpy(words, p + i, 32);
        if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) break;
    }
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80) ++i;
    return i;
}

LineSource::LineSource(sv bytes) : m_data(bytes.data()), m_len(bytes.size()), m_eof(true) {}

LineSource::LineSource(int fd, size_t window) : m_fd(fd), m_cap(std::max<size_t>(window, 1)) {
    m_buf.reset(new char[m_cap]);
    m_data = m_buf.get();
}

bool LineSource::next(sv& line) {
    const uint64_t start = m_pos;
    if (!rawLine(line)) return false;
    if (m_enc == Enc::Ascii) {
        // The bytes from the window's start on are known to be ASCII up to m_asciiEnd; a line beyond it
        // moves it on over the rest of the window at once.
        const uint64_t end = start + line.size();
        if (end > m_asciiEnd) {
            const uint64_t from = std::max(m_asciiEnd, start);
            m_asciiEnd = from + AsciiPrefix(sv(m_data + (from - m_base), m_len - (from - m_base)));
        }
        if (end <= m_asciiEnd) return true;
        if (!settleEncoding(start, line)) return false;
    }
    if (m_enc == Enc::Gbk) {
        m_decoded = vex::GbkToUtf8(line);
        line = m_decoded;
    } else if (start == 0 && line.starts_with("\xEF\xBB\xBF")) {
        line.remove_prefix(3);
    }
    return true;
}

void LineSource::rewind(uint64_t pos) {
    if (pos >= m_base && pos - m_base <= m_len) {
        m_pos = pos;
        return;
    }
    m_base = m_pos = pos;
    m_len = 0;
    m_eof = false;
    if (::lseek(m_fd, static_cast<off_t>(pos), SEEK_SET) < 0) {
        m_error = errno;
        m_eof = true;
    }
}

bool LineSource::rawLine(sv& line) {
    for (;;) {
        const size_t rel = static_cast<size_t>(m_pos - m_base);
        const char* begin = m_data + rel;
        const size_t avail = m_len - rel;
        const void* nl = avail == 0 ? nullptr : std::memchr(begin, '\n', avail);
        size_t n;
        if (nl != nullptr) {
            n = static_cast<size_t>(static_cast<const char*>(nl) - begin);
            m_pos += n + 1;
        } else if (m_eof) {
            if (avail == 0) return false;
            n = avail;
            m_pos += n;
        } else {
            if (!fill()) return false;
            continue;
        }
        if (n > 0 && begin[n - 1] == '\r') --n;
        line = sv(begin, n);
        return true;
    }
}

bool LineSource::fill() {
    const size_t rel = static_cast<size_t>(m_pos - m_base);
    if (rel > 0) {
        std::memmove(m_buf.get(), m_buf.get() + rel, m_len - rel);
        m_base += rel;
        m_len -= rel;
    }
    if (m_len == m_cap) {  // a line longer than the window
        std::unique_ptr<char[]> bigger(new char[m_cap * 2]);
        std::memcpy(bigger.get(), m_buf.get(), m_len);
        m_buf = std::move(bigger);
        m_cap *= 2;
        m_data = m_buf.get();
    }
    ssize_t n;
    do {
        n = ::read(m_fd, m_buf.get() + m_len, m_cap - m_len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_error = errno;
        m_eof = true;
        return false;
    }
    if (n == 0) m_eof = true;
    m_len += static_cast<size_t>(n);
    return true;
}

bool LineSource::settleEncoding(uint64_t start, sv& line) {
    bool utf8 = true;
    for (sv l = line; utf8;) {
        if (AsciiPrefix(l) != l.size() && !vex::IsValidUtf8(l)) utf8 = false;
        if (utf8 && !rawLine(l)) break;
    }
    if (m_error != 0) return false;
    m_enc = utf8 ? Enc::Utf8 : Enc::Gbk;
    rewind(start);
    return rawLine(line);
}
}  // namespace vexdbc
