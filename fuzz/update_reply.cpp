// Any reply: reading it never fails hard, an accepted reply carries only what its text held, and its
// version always has a value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/updatecheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto reply = ParseUpdateReply(body);
    if (!reply) return 0;
    // An accepted reply names "ok", and every member read comes from the reply's own bytes.
    if (body.find("ok") == std::string_view::npos ||
        reply->AppName.size() + reply->Version.size() + reply->DownloadUrl.size() > size) {
        std::fprintf(stderr, "accepted reply without its text\n");
        std::abort();
    }
    (void)VersionValue(reply->Version);
    (void)VersionValue(body);
    return 0;
}
