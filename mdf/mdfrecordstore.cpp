#include "mdf/mdfrecordstore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/util/filewrite.h"

namespace lorimar {

namespace {
// A data group's buffer starts small (many groups may exist) and grows while its group keeps filling it.
constexpr size_t kFirstBuffer = 4096;
constexpr size_t kLargestBuffer = size_t{1} << 20;
}  // namespace

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

MdfSpillFile::~MdfSpillFile() {
    close();
}

bool MdfSpillFile::open(const std::string& folder) {
    close();
    m_folder = folder;
    m_fd = vex::OpenUnnamedTempFile(folder);
    m_size = 0;
    m_error = m_fd < 0 ? errno : 0;
    return m_fd >= 0;
}

uint64_t MdfSpillFile::append(const uint8_t* data, size_t size) {
    const uint64_t at = m_size;
    if (m_error != 0) return at;
    if (!writeAll(m_fd, data, size)) {
        m_error = errno != 0 ? errno : EIO;
        return at;
    }
    m_size += size;
    return at;
}

bool MdfSpillFile::copyTo(int outFd, uint64_t offset, uint64_t size, IoFailure& failure) const {
    if (m_fd < 0) return size == 0;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(size, kLargestBuffer)));
    while (size > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size, buf.size()));
        const ssize_t n = ::pread(m_fd, buf.data(), want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = {true, n < 0 ? errno : EIO};
            return false;
        }
        if (!writeAll(outFd, buf.data(), static_cast<size_t>(n))) {
            failure = {false, errno != 0 ? errno : EIO};
            return false;
        }
        offset += static_cast<uint64_t>(n);
        size -= static_cast<uint64_t>(n);
    }
    return true;
}

void MdfSpillFile::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void MdfRecordStore::append(const uint8_t* data, size_t size, MdfSpillFile& spill) {
    m_bytes += size;
    while (size > 0) {
        if (m_used == m_buffer.size()) {
            if (m_buffer.size() < kLargestBuffer && (m_buffer.empty() || !m_chunks.empty())) {
                // Grow once this group has spilled at least once: busy groups get large buffers.
                m_buffer.resize(std::min(kLargestBuffer, std::max(kFirstBuffer, m_buffer.size() * 2)));
            } else {
                flush(spill);
            }
        }
        const size_t n = std::min(size, m_buffer.size() - m_used);
        std::memcpy(m_buffer.data() + m_used, data, n);
        m_used += n;
        data += n;
        size -= n;
    }
}

void MdfRecordStore::flush(MdfSpillFile& spill) {
    if (m_used == 0) return;
    const uint64_t at = spill.append(m_buffer.data(), m_used);
    if (!m_chunks.empty() && m_chunks.back().first + m_chunks.back().second == at)
        m_chunks.back().second += m_used;
    else
        m_chunks.emplace_back(at, m_used);
    m_used = 0;
}

bool MdfRecordStore::copyTo(int outFd, const MdfSpillFile& spill, IoFailure& failure) const {
    for (const auto& [offset, size] : m_chunks)
        if (!spill.copyTo(outFd, offset, size, failure)) return false;
    if (writeAll(outFd, m_buffer.data(), m_used)) return true;
    failure = {false, errno != 0 ? errno : EIO};
    return false;
}

}  // namespace lorimar
