#pragma once
// The main frame's status bar, pane by pane: 0 the newest warning or error of the info ring, 1 the bus
// state, 2 the bus load, 3 to 5 the keyboard's locks ("CAP", "NUM", "SCRL" while each is on, empty
// otherwise and on platforms that do not tell the program the lock state).
#include <QObject>
#include <QString>
#include <QStringList>

#include "app/infomsgring.h"
#include "ui/app/mainframetick.h"

class QLabel;
class QStatusBar;

class CFrameStatusPanes : public QObject {
    Q_OBJECT
public:
    // Fills `bar` with the six panes. From then on every key press and release of the program refreshes
    // the lock panes.
    explicit CFrameStatusPanes(QStatusBar* bar);
    ~CFrameStatusPanes() override;

    void ShowBusStatus(const BusStatusTexts& texts);
    // Pane 0: "<time> <source>：<text>", red for an error, dark yellow for a warning, the bar's own
    // colour for the normal message that ended its source's alert.
    void ShowAlert(const tINFO_MSG& msg);
    // Pane 0's colour: empty while it shows no alert.
    QString MessageStyle() const;
    // Panes 3 to 5 from the keyboard's state now.
    void RefreshLocks();

    QString MessageText() const;
    QString BusStateText() const;
    QString BusLoadText() const;
    // Panes 3 to 5, in order.
    QStringList LockTexts() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_message;
    QLabel* m_busState;
    QLabel* m_busLoad;
    QLabel* m_locks[3];
};
