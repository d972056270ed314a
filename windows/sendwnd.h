#pragma once
// The send window "SEND": the send message list above the send signal list, with a tool bar to add and
// delete transmit messages. Meant to be the widget of an MDI child: closing it only hides it, so its rows
// and any cyclic sending in the device go on.
#include <QList>
#include <QWidget>

#include "config/cfgrecords.h"
#include "windows/firstshowsizes.h"

class CAppCfg;
class CCanMsgDataHub;
class CCanMsgSender;
class CSendMsgView;
class CSendSigView;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QSplitter;
class QToolBar;

class CSendWnd : public QWidget {
    Q_OBJECT
public:
    // `cfg` holds the transmit store and the device selection, `hub` the database messages the add
    // dialog picks from, `sender` sends on the bus listened on.
    CSendWnd(CAppCfg& cfg, CCanMsgDataHub& hub, const CCanMsgSender& sender, QWidget* parent = nullptr);

    // Creates the window as a child of the MDI area, titled "SEND", and shows it. The sub-window is only
    // hidden when closed, never deleted by closing.
    static CSendWnd* CreateWnd(QMdiArea* area, CAppCfg& cfg, CCanMsgDataHub& hub,
                               const CCanMsgSender& sender);

    CSendMsgView* msgView() const { return m_msgView; }
    CSendSigView* sigView() const { return m_sigView; }
    QSplitter* splitter() const { return m_splitter; }
    QToolBar* toolBar() const { return m_toolBar; }
    // The MDI child holding this window, or null when it stands alone.
    QMdiSubWindow* subWindow() const;

    // Add command: runs the add dialog and, on OK, adds its message to the list and the transmit store.
    void OnAddMsg();
    // Delete command: deletes the selected message.
    void OnDeleteMsg();

    // The splitter's division into the layout record: column 0 (the window's width) into both column
    // pairs, the heights of the two lists into the row pairs; SpltMode is kept.
    void SaveLayout(tWND_SPLITTER& splitter) const;
    // The saved heights and minimum heights of the two lists; they replace the first-show division.
    void RestoreLayout(const tWND_SPLITTER& splitter);

signals:
    // The user closed the window (it is hidden, its rows kept): the frame clears its "Show" flag.
    void hiddenByClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CAppCfg& m_cfg;
    CCanMsgDataHub& m_hub;
    QToolBar* m_toolBar;
    QSplitter* m_splitter;
    CSendMsgView* m_msgView;
    CSendSigView* m_sigView;
    CFirstShowSizes m_firstShow;
};
