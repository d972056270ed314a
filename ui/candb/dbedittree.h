#pragma once
// The database editor's tree pane: the working copy's messages with their signals, its free signals and
// its public value tables, with a context menu per node kind to create, edit, delete, copy and paste
// them. Every command edits the database through the editor's dialogs (CurrentDbDialogs) and mends the
// affected nodes; a left click asks the editor to show the node in the list pane, and the list pane's
// changes come back through UpdateTree. The current node (the one the list shows) and the context node
// are persistent indexes: a node removed by any command, with an ancestor or alone, is no longer current.
#include <QPersistentModelIndex>
#include <QTreeView>

#include <map>
#include <vector>

#include "candb/canmodel.h"
#include "ui/candb/dbeditrelay.h"

class QMenu;
class QAction;

namespace candbui {
class CDbTreeModel;
}

class CCanDbEditTreeView : public QTreeView {
    Q_OBJECT
public:
    // Command ids of the context menu.
    enum : uint32_t {
        ID_NEW_MSG = 32845,
        ID_PASTE_MSG = 32846,
        ID_EDIT_MSG = 32847,
        ID_DELETE_MSG = 32848,
        ID_COPY_MSG = 32849,
        ID_PASTE_SIGNAL = 32850,
        ID_EDIT_SIGNAL = 32851,
        ID_DELETE_SIGNAL = 32852,
        ID_COPY_SIGNAL = 32853,
        ID_NEW_SIGNAL = 32854,
        ID_NEW_ENUM = 32855,
        ID_PASTE_ENUM = 32856,
        ID_EDIT_ENUM = 32857,
        ID_DELETE_ENUM = 32858,
        ID_COPY_ENUM = 32859,
    };

    explicit CCanDbEditTreeView(QWidget* parent = nullptr);

    tCAN_DATABASE* Db = nullptr;
    QString RootText = QStringLiteral("CAN-DATABASE");
    candbui::CDbEditRelay* Relay = nullptr;

    tCAN_SIGNAL_ENUM CopiedEnum;
    CCanSignal CopiedSignal;
    CCanMsg CopiedMsg;

    candbui::CDbTreeModel* treeModel() const { return m_model; }
    QModelIndex CurItem() const { return m_curItem; }
    QModelIndex CtxItem() const { return m_ctxItem; }
    // The context menu shown last (null before any).
    QMenu* ShownMenu() const { return m_shownMenu; }
    // The actions of a command, in every submenu that holds it.
    const std::vector<QAction*>& Actions(uint32_t id) { return m_actions[id]; }

    // Fills the tree from Db; the root alone is expanded.
    void OnInitialUpdate();
    void FillTree();

    // Clicks on a node (an invalid index: off the nodes).
    void OnClick(const QModelIndex& index);
    void OnDblClick(const QModelIndex& index);
    void OnRClick(const QModelIndex& index, const QPoint& globalPos);

    void OnNewMsg();
    void OnPasteMsg();
    void OnEditMsg();
    void OnDeleteMsg();
    void OnCopyMsg();
    void OnPasteSignal();
    void OnNewSignal();
    void OnEditSignal();
    void OnDeleteSignal();
    void OnCopySignal();
    void OnNewEnum();
    void OnPasteEnum();
    void OnEditEnum();
    void OnDeleteEnum();
    void OnCopyEnum();

    // The list pane changed the database: mend the nodes under the current node.
    void UpdateTree(uint8_t mode, uint32_t oldKey, QString oldText, uint32_t newKey, QString newText);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QMenu* addMenu(const char* title, std::initializer_list<std::pair<uint32_t, const char*>> items);
    void refreshList();
    // The context node when its key is of the kind; invalid otherwise.
    QModelIndex ctxOf(bool (*kind)(uint32_t)) const;
    // The message a message or signal node names (null: none); for a free signal the free-signal holder.
    CCanMsg* msgOfNode(const QModelIndex& node) const;
    // The signal a signal node stands for: the one at the node's row when it carries the node's name, else
    // the first of that name; -1 when none.
    int signalOfNode(const CCanMsg& msg, const QModelIndex& node) const;
    void rebuildMsgNode(const QModelIndex& node, const CCanMsg& msg);
    // The record the context node stands for: the list that holds it, its place there, the node and, for
    // a signal, the message that holds it. A null list when the context node is not of the kind or its
    // record has gone.
    template <class T>
    struct Found {
        std::vector<T>* list = nullptr;
        size_t at = 0;
        QModelIndex node;
        CCanMsg* owner = nullptr;
        T& item() const { return (*list)[at]; }
    };
    Found<CCanMsg> ctxMsg() const;
    Found<CCanSignal> ctxSignal() const;
    Found<tCAN_SIGNAL_ENUM> ctxEnum() const;
    // Edits a copy of the found record in `dialog`; on OK stores it, mends the node (`mend(node, item)`)
    // and refreshes the list.
    template <class T, class Dialog, class Mend>
    void editFound(const Found<T>& found, Dialog dialog, Mend mend);
    template <class T>
    void deleteFound(const Found<T>& found);
    // The found record, named "<name>_copy", becomes the one to paste; its paste command is enabled.
    template <class T>
    void copyFound(const Found<T>& found, T& copied, uint32_t pasteId);
    void newMsgFrom(CCanMsg msg);
    void newFreeSignalFrom(CCanSignal signal);
    void newEnumFrom(tCAN_SIGNAL_ENUM table);
    void deleteCtxNode();
    void enable(uint32_t id);

    void updateMsgNodes(uint8_t mode, uint32_t oldKey, uint32_t newKey, const QString& newText);
    void updateMsgSignalNodes(uint8_t mode, uint32_t newKey, const QString& oldText, const QString& newText);
    void updateFreeSignalNodes(uint8_t mode, uint32_t newKey, const QString& oldText, const QString& newText);
    void updatePublicEnumNodes(uint8_t mode, uint32_t newKey, const QString& oldText, const QString& newText);
    // Free signals and public tables: under their folder node (folderKey) the child of the old text, or
    // the current node itself when it is the record (itemKey), is renamed and refilled (`fill(node)` adds
    // the record's children) or removed; an added record gets a filled child of the folder.
    template <class Fill>
    void updateListedNodes(uint8_t mode, uint32_t folderKey, uint32_t itemKey, uint32_t newKey,
                           const QString& oldText, const QString& newText, Fill fill);

    candbui::CDbTreeModel* m_model;
    QPersistentModelIndex m_curItem;
    QPersistentModelIndex m_ctxItem;
    std::map<uint32_t, QMenu*> m_menus;  // by node key kind (see menuFor)
    std::map<uint32_t, std::vector<QAction*>> m_actions;
    QMenu* m_shownMenu = nullptr;
};
