#pragma once
// The queue-transmit window "CAN报文队列发送": a dialog holding the frame window, which has a tool bar and a
// splitter with the queued-frame list above the signal list of the selected frame. The tool bar makes a new
// list, saves and loads list files, adds, deletes and moves frames, and sends the list once or repeatedly
// or stops. While a pass runs every command but stop is disabled.
//
// Closing the dialog ends a pass in progress at once and joins the service's worker.
#include <QDialog>
#include <QWidget>

#include <cstdint>
#include <map>

#include "services/queuetx.h"

class CCanWorkspace;
class CExtSerCanMsgQueueTxMsgListView;
class CSendSigView;
class CxSplitterWnd;
class QAction;
class QToolBar;

class CExtSerCanMsgQueueTxFrameWnd : public QWidget {
    Q_OBJECT
public:
    // Tool bar commands.
    enum Cmd : uint32_t {
        ID_NEW_LIST = 32942,
        ID_SAVE_LIST = 32939,
        ID_LOAD_LIST = 32941,
        ID_ADD = 32933,
        ID_DELETE = 32934,
        ID_UP = 32937,
        ID_DOWN = 32938,
        ID_SEND_ONCE = 32946,
        ID_SEND_REPEAT = 32947,
        ID_STOP = 32936,
    };

    CExtSerCanMsgQueueTxFrameWnd(CCanWorkspace& ws, CExtSerCanMsgQueueTx& service, QWidget* parent = nullptr);
    ~CExtSerCanMsgQueueTxFrameWnd() override;  // Shutdown

    CExtSerCanMsgQueueTxMsgListView* msgView() const { return m_msgView; }
    CSendSigView* sigView() const { return m_sigView; }
    CxSplitterWnd* splitter() const { return m_splitter; }
    QToolBar* toolBar() const { return m_toolBar; }
    QAction* Action(uint32_t id) const;
    // Runs a tool bar command as a click would (nothing when it is disabled).
    void RunCommand(uint32_t id);
    // While a pass runs (from the start command until the worker's end).
    bool IsSending() const { return m_sending; }

    void OnNewList();
    void OnSaveList();
    void OnLoadList();
    void OnAddFrames();
    // Send once or repeatedly: "请先开启监听。" while offline; a frame that makes no frame as its row shows
    // it is refused with a message naming it.
    void OnSend(CExtSerCanMsgQueueTx::Mode mode);
    void OnStop();
    // Ends a pass at once and joins the worker; the list shows the user's selection again.
    void Shutdown();
    // Enables the commands for the sending state.
    void UpdateToolBar();

private:
    void onWorkerSending(size_t index);
    void onWorkerEnded();

    CCanWorkspace& m_ws;
    CExtSerCanMsgQueueTx& m_service;
    bool m_sending = false;
    CExtSerCanMsgQueueTxMsgListView* m_msgView;
    CSendSigView* m_sigView;
    CxSplitterWnd* m_splitter;
    QToolBar* m_toolBar;
    std::map<uint32_t, QAction*> m_actions;
};

class CExtSerCanMsgQueueTxDlg : public QDialog {
    Q_OBJECT
public:
    CExtSerCanMsgQueueTxDlg(CCanWorkspace& ws, CExtSerCanMsgQueueTx& service, QWidget* parent = nullptr);

    CExtSerCanMsgQueueTxFrameWnd* frameWnd() const { return m_pFrameWnd; }
    // Stops sending and joins the worker before the dialog ends.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Return and Escape never close the dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void placeFrame();

    CExtSerCanMsgQueueTxFrameWnd* m_pFrameWnd = nullptr;
    bool m_bLaidOut = false;
};
