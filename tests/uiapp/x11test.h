#pragma once
// The suite that runs on a real X server: its main starts a private Xvfb and runs Qt on the xcb platform
// there. When no X server could be started, Qt runs offscreen and every test skips with the reason.
#include <string>

namespace x11test {

// Empty while the private X server runs; otherwise why it could not be started.
const std::string& SkipReason();

}  // namespace x11test

#define VEX_REQUIRE_X11() \
    if (!::x11test::SkipReason().empty()) GTEST_SKIP() << "no X server: " << ::x11test::SkipReason()
