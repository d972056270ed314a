#include "ui/app/framelayout.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>

namespace {

constexpr int32_t kShowNormal = 1;
constexpr int32_t kShowMinimized = 2;
constexpr int32_t kShowMaximized = 3;
constexpr int32_t kPlacementLength = 44;
// Coordinates beyond this are no screen position (a hand-edited or damaged file).
constexpr int64_t kCoordLimit = 1 << 20;

bool inRange(int64_t v) {
    return v >= -kCoordLimit && v <= kCoordLimit;
}

}  // namespace

QRect PlacementRect(const tWND_PLACEMENT& p) {
    const int64_t w = int64_t{p.right} - p.left;
    const int64_t h = int64_t{p.bottom} - p.top;
    if (w <= 0 || h <= 0 || !inRange(p.left) || !inRange(p.top) || !inRange(p.right) || !inRange(p.bottom))
        return {};
    return QRect(p.left, p.top, static_cast<int>(w), static_cast<int>(h));
}

WndShowState PlacementState(const tWND_PLACEMENT& p) {
    switch (p.showCmd) {
        case kShowMaximized:
            return WndShowState::Maximized;
        case kShowMinimized:
        case 6:  // minimize
        case 7:  // minimized, not active
            return WndShowState::Minimized;
        default:
            return WndShowState::Normal;
    }
}

void StorePlacement(tWND_PLACEMENT& p, const QRect& normal, WndShowState state) {
    p.length = kPlacementLength;
    p.showCmd = state == WndShowState::Maximized   ? kShowMaximized
                : state == WndShowState::Minimized ? kShowMinimized
                                                   : kShowNormal;
    if (!normal.isValid()) return;
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
}

CUserInputWatch::CUserInputWatch() {
    QCoreApplication::instance()->installEventFilter(this);
}

CUserInputWatch::~CUserInputWatch() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool CUserInputWatch::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::TouchBegin:
        case QEvent::Wheel:
            m_seen = true;
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
