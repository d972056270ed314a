// CLorimar: the state rules (idle, creating, open) around the file image.
#include "mdf/lorimar.h"

#include <cstring>

#include "mdf/mdfimage.h"

using lorimar::MdfReadChannel;
using lorimar::ValueKind;

namespace {
std::string pathFrom(const char* path, int32_t length) {
    if (!path || length <= 0) return std::string();
    return std::string(path, static_cast<size_t>(length));
}
}  // namespace

CLorimar::CLorimar() : m_image(std::make_unique<lorimar::MdfFileImage>()) {}

CLorimar::~CLorimar() = default;

uint32_t CLorimar::CreateMdfFile(tMDF_FILE& desc) {
    if (m_open) return MDF_ERR_BUSY;
    if (m_creating) return MDF_ERR_ALREADY_CREATING;
    const uint32_t rc = m_image->create(desc);
    m_creating = rc == MDF_OK;
    return rc;
}

void CLorimar::InputSamplingData(uint16_t channel, uint8_t slot, uint32_t value) {
    if (m_creating) m_image->input(channel, slot, ValueKind::Unsigned, value, static_cast<double>(value));
}

void CLorimar::InputSamplingData(uint16_t channel, uint8_t slot, int32_t value) {
    if (m_creating)
        m_image->input(channel, slot, ValueKind::Signed, static_cast<uint64_t>(int64_t{value}),
                       static_cast<double>(value));
}

void CLorimar::InputSamplingData(uint16_t channel, uint8_t slot, float value) {
    if (m_creating) m_image->input(channel, slot, ValueKind::Single, 0, static_cast<double>(value));
}

void CLorimar::InputSamplingData(uint16_t channel, uint8_t slot, double value) {
    if (m_creating) m_image->input(channel, slot, ValueKind::Double, 0, value);
}

void CLorimar::OnSamplingTimeIdle() {
    if (m_creating) m_image->idle();
}

uint32_t CLorimar::SaveMdfFile(const char* path, int32_t length) {
    if (!m_creating) return MDF_ERR_NOT_CREATING;
    m_creating = false;
    return m_image->save(pathFrom(path, length));
}

const tMDF_FILE_ERROR& CLorimar::LastFileError() const {
    return m_image->fileError();
}

uint32_t CLorimar::OpenMdfFile(const char* path, int32_t length) {
    if (m_creating) return MDF_ERR_BUSY;
    if (m_open) return MDF_ERR_ALREADY_OPEN;
    const uint32_t rc = m_image->open(pathFrom(path, length));
    if (rc != MDF_OK) return rc;
    m_mdfFile = m_image->openedFile();
    m_open = true;
    return MDF_OK;
}

uint32_t CLorimar::CloseMdfFile() {
    if (!m_open) return MDF_ERR_CLOSE_NOT_OPEN;
    m_image->close();
    m_open = false;
    return MDF_OK;
}

namespace {
// Resolves channel and record, then hands the channel and its bits to `take`, which stores the value or
// returns 7.
template <class Take>
uint32_t readValue(bool open, const lorimar::MdfFileImage& image, uint16_t channel, uint32_t record,
                   Take take) {
    if (!open) return MDF_ERR_NOT_OPEN;
    const MdfReadChannel* ch = nullptr;
    const uint8_t* rec = nullptr;
    if (const uint32_t rc = image.locate(channel, record, ch, rec); rc != MDF_OK) return rc;
    if (!ch->readable) return MDF_ERR_DATA_TYPE;
    return take(*ch, lorimar::extractBits(*ch, rec));
}
}  // namespace

uint32_t CLorimar::GetChannelRawData(uint16_t channel, uint32_t record, uint32_t& value) const {
    return readValue(m_open, *m_image, channel, record, [&](const MdfReadChannel& ch, uint64_t bits) {
        if (ch.dataType != MDF_UINT || ch.bitCount > 32) return uint32_t{MDF_ERR_DATA_TYPE};
        value = static_cast<uint32_t>(bits);
        return uint32_t{MDF_OK};
    });
}

uint32_t CLorimar::GetChannelRawData(uint16_t channel, uint32_t record, int32_t& value) const {
    return readValue(m_open, *m_image, channel, record, [&](const MdfReadChannel& ch, uint64_t bits) {
        if (ch.dataType != MDF_SINT || ch.bitCount > 32) return uint32_t{MDF_ERR_DATA_TYPE};
        double raw;
        lorimar::rawAsDouble(ch, bits, raw);
        value = static_cast<int32_t>(raw);  // a sign-extended value of at most 32 bits
        return uint32_t{MDF_OK};
    });
}

uint32_t CLorimar::GetChannelRawData(uint16_t channel, uint32_t record, float& value) const {
    return readValue(m_open, *m_image, channel, record, [&](const MdfReadChannel& ch, uint64_t bits) {
        if (ch.dataType != MDF_FLOAT || ch.bitCount != 32) return uint32_t{MDF_ERR_DATA_TYPE};
        const uint32_t u = static_cast<uint32_t>(bits);
        std::memcpy(&value, &u, sizeof value);
        return uint32_t{MDF_OK};
    });
}

uint32_t CLorimar::GetChannelRawData(uint16_t channel, uint32_t record, double& value) const {
    return readValue(m_open, *m_image, channel, record, [&](const MdfReadChannel& ch, uint64_t bits) {
        if (ch.dataType != MDF_DOUBLE || ch.bitCount != 64) return uint32_t{MDF_ERR_DATA_TYPE};
        std::memcpy(&value, &bits, sizeof value);
        return uint32_t{MDF_OK};
    });
}

// Served from the decoded runs of the file image: a caller reading every channel record by record pays one
// decoding pass per run and a lookup per value.
uint32_t CLorimar::GetChannelPhyData(uint16_t channel, uint32_t record, double& value) const {
    if (!m_open) return MDF_ERR_NOT_OPEN;
    return m_image->physical(channel, record, value);
}

uint32_t CLorimar::GetChannelPhyData(uint16_t channel, uint32_t first, uint32_t count, double* values) const {
    if (!m_open) return MDF_ERR_NOT_OPEN;
    return m_image->physicalRange(channel, first, count, values);
}

uint32_t CLorimar::GetChannelPhyData(uint16_t channel, uint32_t record, std::string& text) const {
    return readValue(m_open, *m_image, channel, record, [&](const MdfReadChannel& ch, uint64_t bits) {
        double raw;
        if (!lorimar::rawAsDouble(ch, bits, raw)) return uint32_t{MDF_ERR_DATA_TYPE};
        const tMDF_CN_INFO& cn = *ch.info;
        if (!cn.convPresent || cn.convType != MDF_CONV_TEXT_TABLE) return uint32_t{MDF_OK};
        for (const tMDF_CN_TEXT_ITEM& item : cn.textTable) {
            if (item.value == raw) {
                text = item.text;
                break;
            }
        }
        return uint32_t{MDF_OK};
    });
}
