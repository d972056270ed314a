#include "ui/app/keylocks.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

// Xlib's macros (None, Bool, Status ...) would clash with Qt's names: its headers come last and stay here.
#include <X11/XKBlib.h>

namespace {

// The indicator numbers of one display's keyboard map, looked up once: a lookup costs a request per name.
struct IndicatorIndexes {
    Display* display = nullptr;
    int caps = -1;
    int num = -1;
    int scroll = -1;
};

int indicatorIndex(Display* display, const char* name) {
    int index = -1;
    const Atom atom = XInternAtom(display, name, False);
    if (atom == 0 || !XkbGetNamedIndicator(display, atom, &index, nullptr, nullptr, nullptr)) return -1;
    return index >= 0 && index < 32 ? index : -1;
}

bool lit(unsigned int state, int index) {
    return index >= 0 && (state & (1u << index)) != 0;
}

}  // namespace

std::optional<KeyLocks> ReadKeyLocks() {
    const auto* x11 =
        qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return std::nullopt;
    static IndicatorIndexes indexes;
    if (indexes.display != display) {
        indexes = {display, indicatorIndex(display, "Caps Lock"), indicatorIndex(display, "Num Lock"),
                   indicatorIndex(display, "Scroll Lock")};
    }
    unsigned int state = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &state) != Success) return std::nullopt;
    return KeyLocks{lit(state, indexes.caps), lit(state, indexes.num), lit(state, indexes.scroll)};
}
