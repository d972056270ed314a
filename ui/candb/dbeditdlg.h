#pragma once
// "CAN数据库编辑": the window in which one database is edited: the tree pane at the left and the list
// pane at the right of a movable splitter, over a working copy. The window tells whether anything was
// changed (an XML fingerprint of the working copy and its name, taken once the window runs), hands the
// copy back only when it ends with OK ("保存退出", or closing and answering Yes), and edits the
// database's attributes; for a database just created or imported it opens the attributes by itself once.
#include <QDialog>

#include <map>
#include <string>
#include <vector>

#include "candb/cfgcandb.h"
#include "ui/candb/dbeditrelay.h"

class CCanDbEditListView;
class CCanDbEditTreeView;
class CxSplitterWnd;
class QAction;

class CCanDbEditDlg : public QDialog, public candbui::CDbEditRelay {
    Q_OBJECT
public:
    enum : uint32_t {
        ID_SAVE_EXIT = 32861,
        ID_CANCEL_EXIT = 32862,
        ID_EXPORT = 32863,
        ID_ATTRIBUTES = 32865
    };

    // `list`: the configuration's databases, for the attributes dialog's name check (may be null).
    explicit CCanDbEditDlg(const std::vector<tCFG_CAN_DATABASE>* list = nullptr, QWidget* parent = nullptr);

    tCAN_DATABASE WorkDb;
    std::string DbName = "CAN-DATABASE";
    uint8_t FirstAddFlag = 0;

    // Builds the panes over WorkDb; the caller sets WorkDb, DbName and FirstAddFlag first. exec() does it
    // when it has not been done.
    void CreatePanes();

    CCanDbEditTreeView* treePane() const { return m_tree; }
    CCanDbEditListView* listPane() const { return m_list; }
    CxSplitterWnd* splitter() const { return m_splitter; }
    QAction* Action(uint32_t id) const;
    const std::string& SavedXml() const { return m_savedXml; }

    // The working copy's fingerprint: the XML text of the database under an element named after it.
    std::string MakeFingerprint() const;
    // Timer 100 (0 ms, once) and 200 (100 ms): the first call takes the fingerprint; timer 200 opens the
    // attributes of a new database once.
    void OnTimer(int id);
    void OnSaveExit();
    void OnDbAttributes();

    // CDbEditRelay
    void ShowNodeInList(uint32_t key, const QString& text) override;
    void UpdateTreeNode(uint8_t mode, uint32_t oldKey, const QString& oldText, uint32_t newKey,
                        const QString& newText) override;

    int exec() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    const std::vector<tCFG_CAN_DATABASE>* m_cfgList;
    CxSplitterWnd* m_splitter = nullptr;
    CCanDbEditTreeView* m_tree = nullptr;
    CCanDbEditListView* m_list = nullptr;
    std::string m_savedXml;
    bool m_snapshotTaken = false;
    bool m_timersStarted = false;
    std::map<uint32_t, QAction*> m_actions;
};
