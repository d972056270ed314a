// Every suite of this executable works on an in-memory registry, never on the user's settings.
#include "platform/qt/settingsstore.h"

namespace {
vex::MemorySettingsStore g_registry;
const vex::ScopedSettingsStore g_useRegistry(g_registry);
}  // namespace
