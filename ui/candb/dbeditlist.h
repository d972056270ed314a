#pragma once
// The database editor's list pane: the contents of the tree node last clicked (all messages, the signals
// of a message, one signal, the free signals, one free signal, the public value tables, one table), with
// a context menu and double clicks that create, edit and delete those records in the working copy
// through the editor's dialogs. Every change is mirrored in the tree through the editor (Relay).
#include <QString>

#include <cstdint>
#include <vector>

#include "candb/canmodel.h"
#include "ui/candb/reportview.h"

class QMenu;

namespace candbui {
class CDbEditRelay;
class CTextRowsModel;

// The order of the message list's rows after a header click: by message name (column 0, ASCII letters
// compared without case, then the text's GBK bytes) or identifier value (column 1); equal rows keep
// their order. direction +1 ascending, -1 descending. Other columns keep the order. A row's name is that
// of the last message its key names.
std::vector<size_t> MsgListSortOrder(const std::vector<uint32_t>& rowKeys, const tCAN_DATABASE& db,
                                     int column, int direction);
}  // namespace candbui

class CCanDbEditListView : public candbui::CReportList {
    Q_OBJECT
public:
    // Commands of the context menu.
    enum : uint32_t {
        ID_NEW_MSG = 32832,
        ID_EDIT_MSG = 32833,
        ID_DELETE_MSG = 32834,
        ID_NEW_SIGNAL = 32835,
        ID_EDIT_SIGNAL = 32836,
        ID_DELETE_SIGNAL = 32837,
        ID_NEW_ENUM = 32838,
        ID_EDIT_ENUM = 32839,
        ID_DELETE_ENUM = 32840,
    };

    explicit CCanDbEditListView(QWidget* parent = nullptr);

    tCAN_DATABASE* Db = nullptr;
    candbui::CDbEditRelay* Relay = nullptr;

    candbui::CTextRowsModel* rowsModel() const { return m_model; }
    uint8_t ColumnSet() const { return m_columnSet; }
    int SortDir() const { return m_sortDir; }
    int SelRow() const { return m_selRow; }
    uint32_t NodeKey() const { return m_nodeKey; }
    // The context menu shown last (null before any).
    QMenu* ShownMenu() const { return m_shownMenu; }

    // Shows a tree node's contents.
    void ShowNode(uint32_t key, const QString& text);

    void OnClick(int row);
    void OnDblClick(int row);
    void OnRClick(int row, const QPoint& globalPos);
    void OnColumnClick(int column);

    void OnNewMsg();
    void OnEditMsg();
    void OnDeleteMsg();
    void OnNewSignal();
    void OnEditSignal();
    void OnDeleteSignal();
    void OnNewEnum();
    void OnEditEnum();
    void OnDeleteEnum();

private:
    QMenu* addMenu(const char* title, std::initializer_list<uint32_t> ids);
    void setLayout(uint8_t set);
    bool sameColumns(uint8_t set) const;
    void editMsgRow(int row, uint32_t key);
    void editMsgSignalRow(int row, uint32_t key, const QString& text);
    void editFreeSignalRow(int row, const QString& text);
    void editEnumRow(int row, const QString& text);
    void updateTree(uint8_t mode, uint32_t oldKey, const QString& oldText, uint32_t newKey,
                    const QString& newText);
    bool selValid() const;

    candbui::CTextRowsModel* m_model;
    uint8_t m_columnSet = 0;
    int m_sortDir = 1;
    int m_sortCol = -1;
    int m_selRow = -1;
    uint32_t m_nodeKey = 0;
    QString m_nodeText;
    std::vector<QMenu*> m_menus;  // by position
    QMenu* m_shownMenu = nullptr;
};
