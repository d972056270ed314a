#include "services/servicefile.h"

#include <cstdio>
#include <memory>

namespace vex::svc {

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::string& out) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return false;
    std::string text;
    char buffer[65536];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
        if (n > 0) {
            if (text.size() + n > maxBytes) return false;
            text.append(buffer, n);
        }
        if (n < sizeof buffer) {
            if (std::ferror(f.get())) return false;
            break;
        }
    }
    out = std::move(text);
    return true;
}

}  // namespace vex::svc
