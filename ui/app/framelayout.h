#pragma once
// Window placements of the configuration's layout block as Qt geometry: the normal (restored) rectangle
// and whether the window is minimized or maximized.
#include <QObject>
#include <QRect>

#include "config/cfgrecords.h"

enum class WndShowState { Normal, Minimized, Maximized };

// The normal rectangle (left, top, right, bottom; right and bottom outside); a null rectangle when the
// placement has no positive width and height or lies beyond any screen coordinate.
QRect PlacementRect(const tWND_PLACEMENT& placement);
// showCmd 3 (maximized) and 2, 6, 7 (minimized); anything else is normal.
WndShowState PlacementState(const tWND_PLACEMENT& placement);
// Stores a window's state and, when valid, its normal rectangle; flags and the minimized and maximized
// positions keep their values.
void StorePlacement(tWND_PLACEMENT& placement, const QRect& normal, WndShowState state);

// Notes whether the user pressed a key or a mouse button anywhere in the program since construction.
class CUserInputWatch : public QObject {
public:
    CUserInputWatch();
    ~CUserInputWatch() override;
    bool Seen() const { return m_seen; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_seen = false;
};
