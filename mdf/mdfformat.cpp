#include "mdf/mdfformat.h"

#include "platform/textcodec.h"

namespace lorimar {

std::string getText(const uint8_t* p, size_t width) {
    const void* nul = std::memchr(p, 0, width);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : width;
    return vex::GbkToUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
}

void putText(uint8_t* p, size_t width, std::string_view utf8, bool terminated) {
    const std::string gbk = toFileText(utf8, terminated ? width - 1 : width);
    std::memcpy(p, gbk.data(), gbk.size());
    std::memset(p + gbk.size(), 0, width - gbk.size());
}

std::string toFileText(std::string_view utf8, size_t maxBytes) {
    const std::string gbk = vex::Utf8ToGbk(utf8.substr(0, utf8.find('\0')));
    return gbk.substr(0, vex::GbkPrefixBytes(gbk, maxBytes));
}

}  // namespace lorimar
