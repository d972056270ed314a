#include "ui/candb/dbedittree.h"

#include <QMenu>
#include <QMouseEvent>

#include <cstddef>

#include "ui/candb/dbdialogs.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dbtreemodel.h"
#include "ui/candb/nodekeys.h"
#include "ui/candb/panecommands.h"
#include "ui/candb/signaleditdlg.h"
#include "windows/fonts.h"

using namespace candbui;

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

bool isMsgFolder(uint32_t k) {
    return k == kKeyMsgFolder;
}
bool isMsgNode(uint32_t k) {
    return IsMsgKey(k);
}
bool isSigFolder(uint32_t k) {
    return k == kKeySigFolder;
}
bool isSignalNode(uint32_t k) {
    return IsMsgSignalKey(k) || k == kKeyFreeSig;
}
bool isEnumFolder(uint32_t k) {
    return k == kKeyEnumFolder;
}
bool isEnumNode(uint32_t k) {
    return k == kKeyEnum;
}

const PaneCommand<CCanDbEditTreeView> kCommands[] = {
    {CCanDbEditTreeView::ID_NEW_MSG, &CCanDbEditTreeView::OnNewMsg},
    {CCanDbEditTreeView::ID_PASTE_MSG, &CCanDbEditTreeView::OnPasteMsg},
    {CCanDbEditTreeView::ID_EDIT_MSG, &CCanDbEditTreeView::OnEditMsg},
    {CCanDbEditTreeView::ID_DELETE_MSG, &CCanDbEditTreeView::OnDeleteMsg},
    {CCanDbEditTreeView::ID_COPY_MSG, &CCanDbEditTreeView::OnCopyMsg},
    {CCanDbEditTreeView::ID_PASTE_SIGNAL, &CCanDbEditTreeView::OnPasteSignal},
    {CCanDbEditTreeView::ID_EDIT_SIGNAL, &CCanDbEditTreeView::OnEditSignal},
    {CCanDbEditTreeView::ID_DELETE_SIGNAL, &CCanDbEditTreeView::OnDeleteSignal},
    {CCanDbEditTreeView::ID_COPY_SIGNAL, &CCanDbEditTreeView::OnCopySignal},
    {CCanDbEditTreeView::ID_NEW_SIGNAL, &CCanDbEditTreeView::OnNewSignal},
    {CCanDbEditTreeView::ID_NEW_ENUM, &CCanDbEditTreeView::OnNewEnum},
    {CCanDbEditTreeView::ID_PASTE_ENUM, &CCanDbEditTreeView::OnPasteEnum},
    {CCanDbEditTreeView::ID_EDIT_ENUM, &CCanDbEditTreeView::OnEditEnum},
    {CCanDbEditTreeView::ID_DELETE_ENUM, &CCanDbEditTreeView::OnDeleteEnum},
    {CCanDbEditTreeView::ID_COPY_ENUM, &CCanDbEditTreeView::OnCopyEnum},
};

// Menu slots by node kind.
enum MenuKind : uint32_t {
    kMenuMsgFolder,
    kMenuMsg,
    kMenuMsgSignal,
    kMenuSigFolder,
    kMenuFreeSig,
    kMenuEnumFolder,
    kMenuEnum
};

}  // namespace

CCanDbEditTreeView::CCanDbEditTreeView(QWidget* parent) : QTreeView(parent) {
    setObjectName("dbTree");
    m_model = new CDbTreeModel(this);
    setModel(m_model);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFont(vex::ListFont());
    setFrameShape(QFrame::StyledPanel);

    m_menus[kMenuMsgFolder] =
        addMenu("NORMAL_MSG_LABEL", {{ID_NEW_MSG, "新增报文"}, {ID_PASTE_MSG, "粘贴报文"}});
    m_menus[kMenuMsg] = addMenu("NORMAL_MSG_ITEM", {{ID_EDIT_MSG, "编辑报文"},
                                                    {ID_DELETE_MSG, "删除报文"},
                                                    {ID_COPY_MSG, "复制报文"},
                                                    {ID_PASTE_SIGNAL, "粘贴信号"}});
    m_menus[kMenuMsgSignal] =
        addMenu("NORMAL_SIGNAL_ITEM",
                {{ID_EDIT_SIGNAL, "编辑信号"}, {ID_DELETE_SIGNAL, "删除信号"}, {ID_COPY_SIGNAL, "复制信号"}});
    m_menus[kMenuSigFolder] =
        addMenu("FREE_SIGNAL_LABEL", {{ID_NEW_SIGNAL, "新增信号"}, {ID_PASTE_SIGNAL, "粘贴信号"}});
    m_menus[kMenuFreeSig] =
        addMenu("FREE_SIGNAL_ITEM",
                {{ID_EDIT_SIGNAL, "编辑信号"}, {ID_DELETE_SIGNAL, "删除信号"}, {ID_COPY_SIGNAL, "复制信号"}});
    m_menus[kMenuEnumFolder] =
        addMenu("PUBLIC_ENUM_LABEL", {{ID_NEW_ENUM, "新增枚举"}, {ID_PASTE_ENUM, "粘贴枚举"}});
    m_menus[kMenuEnum] =
        addMenu("PUBLIC_ENUM_NAME",
                {{ID_EDIT_ENUM, "编辑枚举"}, {ID_DELETE_ENUM, "删除枚举"}, {ID_COPY_ENUM, "复制枚举"}});
    // Paste waits for a copy of its kind.
    for (uint32_t id : {ID_PASTE_MSG, ID_PASTE_SIGNAL, ID_PASTE_ENUM})
        for (QAction* a : m_actions[id]) a->setEnabled(false);
}

QMenu* CCanDbEditTreeView::addMenu(const char* title,
                                   std::initializer_list<std::pair<uint32_t, const char*>> items) {
    auto* menu = new QMenu(QString::fromLatin1(title), this);
    menu->setObjectName(QString::fromLatin1(title));
    for (const auto& [id, text] : items) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setData(id);
        m_actions[id].push_back(a);
        const uint32_t cmd = id;
        connect(a, &QAction::triggered, this, [this, cmd] { RunPaneCommand(*this, cmd, kCommands); });
    }
    return menu;
}

void CCanDbEditTreeView::OnInitialUpdate() {
    FillTree();
}

void CCanDbEditTreeView::FillTree() {
    if (Db == nullptr) return;
    m_model->Fill(*Db, RootText);
    collapseAll();
    expand(m_model->index(0, 0));
}

void CCanDbEditTreeView::refreshList() {
    if (m_curItem.isValid() && Relay != nullptr)
        Relay->ShowNodeInList(m_model->Key(m_curItem), m_model->Text(m_curItem));
}

void CCanDbEditTreeView::OnClick(const QModelIndex& index) {
    if (!index.isValid()) return;
    setCurrentIndex(index);
    const uint32_t key = m_model->Key(index);
    if ((key & 0x80000000u) != 0 || key == kKeyMsgFolder || key == kKeySigFolder || key == kKeyFreeSig ||
        key == kKeyEnumFolder || key == kKeyEnum)
        m_curItem = index;
    if (Relay != nullptr) Relay->ShowNodeInList(key, m_model->Text(index));
}

void CCanDbEditTreeView::OnDblClick(const QModelIndex& index) {
    if (!index.isValid()) return;
    setCurrentIndex(index);
    const uint32_t key = m_model->Key(index);
    if ((key & 0x80000000u) != 0 || key == kKeyMsgFolder || key == kKeySigFolder || key == kKeyFreeSig ||
        key == kKeyEnumFolder || key == kKeyEnum)
        m_curItem = index;
}

void CCanDbEditTreeView::OnRClick(const QModelIndex& index, const QPoint& globalPos) {
    m_ctxItem = QPersistentModelIndex();
    if (!index.isValid()) return;
    setCurrentIndex(index);
    m_ctxItem = index;
    const uint32_t key = m_model->Key(index);
    int kind = -1;
    if (IsMsgKey(key))
        kind = kMenuMsg;
    else if (IsMsgSignalKey(key))
        kind = kMenuMsgSignal;
    else if (key == kKeyMsgFolder)
        kind = kMenuMsgFolder;
    else if (key == kKeySigFolder)
        kind = kMenuSigFolder;
    else if (key == kKeyFreeSig)
        kind = kMenuFreeSig;
    else if (key == kKeyEnumFolder)
        kind = kMenuEnumFolder;
    else if (key == kKeyEnum)
        kind = kMenuEnum;
    if (kind < 0) return;
    m_shownMenu = m_menus[static_cast<uint32_t>(kind)];
    m_shownMenu->popup(globalPos);
}

void CCanDbEditTreeView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        OnRClick(index, event->globalPosition().toPoint());
        return;
    }
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) OnClick(index);
}

void CCanDbEditTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) OnDblClick(indexAt(event->position().toPoint()));
}

QModelIndex CCanDbEditTreeView::ctxOf(bool (*kind)(uint32_t)) const {
    if (Db == nullptr || !m_ctxItem.isValid() || !kind(m_model->Key(m_ctxItem))) return {};
    return m_ctxItem;
}

CCanMsg* CCanDbEditTreeView::msgOfNode(const QModelIndex& node) const {
    const uint32_t key = m_model->Key(node);
    if (key == kKeyFreeSig) return &Db->FreeSigMsg;
    const int m = FindMsgByKey(*Db, key);
    return m < 0 ? nullptr : &Db->Messages[static_cast<size_t>(m)];
}

int CCanDbEditTreeView::signalOfNode(const CCanMsg& msg, const QModelIndex& node) const {
    const std::string name = m_model->Text(node).toStdString();
    const auto row = static_cast<size_t>(node.row());
    if (row < msg.Signals.size() && msg.Signals[row].Name == name) return static_cast<int>(row);
    return FindByName(msg.Signals, name);
}

void CCanDbEditTreeView::rebuildMsgNode(const QModelIndex& node, const CCanMsg& msg) {
    m_model->SetNode(node, MsgKey(msg), qs(MsgNodeText(msg)));
    m_model->RemoveChildren(node);
    m_model->AddMsgChildren(node, msg);
}

void CCanDbEditTreeView::enable(uint32_t id) {
    for (QAction* a : m_actions[id]) a->setEnabled(true);
}

void CCanDbEditTreeView::deleteCtxNode() {
    // Removing the node invalidates the current node too when it is this node or lies under it.
    m_model->RemoveNode(m_ctxItem);
    m_ctxItem = QPersistentModelIndex();
}

auto CCanDbEditTreeView::ctxMsg() const -> Found<CCanMsg> {
    const QModelIndex node = ctxOf(isMsgNode);
    if (!node.isValid()) return {};
    const int m = FindMsgByKey(*Db, m_model->Key(node));
    if (m < 0) return {};
    return {&Db->Messages, static_cast<size_t>(m), node, nullptr};
}

auto CCanDbEditTreeView::ctxSignal() const -> Found<CCanSignal> {
    const QModelIndex node = ctxOf(isSignalNode);
    if (!node.isValid()) return {};
    CCanMsg* msg = msgOfNode(node);
    if (msg == nullptr) return {};
    const int s = signalOfNode(*msg, node);
    if (s < 0) return {};
    return {&msg->Signals, static_cast<size_t>(s), node, msg};
}

auto CCanDbEditTreeView::ctxEnum() const -> Found<tCAN_SIGNAL_ENUM> {
    const QModelIndex node = ctxOf(isEnumNode);
    if (!node.isValid()) return {};
    const int e = FindByName(Db->Enums, m_model->Text(node).toStdString());
    if (e < 0) return {};
    return {&Db->Enums, static_cast<size_t>(e), node, nullptr};
}

template <class T, class Dialog, class Mend>
void CCanDbEditTreeView::editFound(const Found<T>& found, Dialog dialog, Mend mend) {
    if (found.list == nullptr) return;
    // The dialog works on a copy, so a cancelled dialog leaves the record as it was.
    T item = found.item();
    if (!dialog(item)) return;
    found.item() = item;
    mend(found.node, item);
    refreshList();
}

template <class T>
void CCanDbEditTreeView::deleteFound(const Found<T>& found) {
    if (found.list == nullptr) return;
    found.list->erase(found.list->begin() + static_cast<std::ptrdiff_t>(found.at));
    refreshList();
    deleteCtxNode();
}

template <class T>
void CCanDbEditTreeView::copyFound(const Found<T>& found, T& copied, uint32_t pasteId) {
    if (found.list == nullptr) return;
    copied = found.item();
    copied.Name += "_copy";
    enable(pasteId);
}

void CCanDbEditTreeView::newMsgFrom(CCanMsg msg) {
    const QModelIndex folder = ctxOf(isMsgFolder);
    if (!folder.isValid()) return;
    if (!CurrentDbDialogs().EditMsg(this, Db, kMsgNew, {}, msg)) return;
    Db->Messages.push_back(msg);
    const QModelIndex node = m_model->AddNode(folder, MsgKey(msg), qs(MsgNodeText(msg)));
    m_model->AddMsgChildren(node, msg);
    refreshList();
}

void CCanDbEditTreeView::OnNewMsg() {
    newMsgFrom(CCanMsg{});
}

void CCanDbEditTreeView::OnPasteMsg() {
    newMsgFrom(CopiedMsg);
}

void CCanDbEditTreeView::OnEditMsg() {
    editFound(
        ctxMsg(), [this](CCanMsg& msg) { return CurrentDbDialogs().EditMsg(this, Db, kMsgEdit, {}, msg); },
        [this](const QModelIndex& node, const CCanMsg& msg) { rebuildMsgNode(node, msg); });
}

void CCanDbEditTreeView::OnDeleteMsg() {
    deleteFound(ctxMsg());
}

void CCanDbEditTreeView::OnCopyMsg() {
    copyFound(ctxMsg(), CopiedMsg, ID_PASTE_MSG);
}

void CCanDbEditTreeView::newFreeSignalFrom(CCanSignal signal) {
    const QModelIndex folder = ctxOf(isSigFolder);
    if (!folder.isValid()) return;
    if (!CurrentDbDialogs().EditSignal(this, Db, Db->FreeSigMsg, signal)) return;
    Db->FreeSigMsg.Signals.push_back(signal);
    const QModelIndex node = m_model->AddNode(folder, kKeyFreeSig, qs(signal.Name));
    m_model->AddFreeSignalChildren(node, signal);
    refreshList();
}

void CCanDbEditTreeView::OnPasteSignal() {
    if (ctxOf(isSigFolder).isValid()) {
        newFreeSignalFrom(CopiedSignal);
        return;
    }
    // On a message: the message's dialog opens with the copy appended and selected.
    editFound(
        ctxMsg(),
        [this](CCanMsg& msg) {
            msg.Signals.push_back(CopiedSignal);
            return CurrentDbDialogs().EditMsg(this, Db, kMsgEdit, CopiedSignal.Name, msg);
        },
        [this](const QModelIndex& node, const CCanMsg& msg) { rebuildMsgNode(node, msg); });
}

void CCanDbEditTreeView::OnNewSignal() {
    newFreeSignalFrom(CCanSignalEditDlg::DefaultSignal());
}

void CCanDbEditTreeView::OnEditSignal() {
    const Found<CCanSignal> found = ctxSignal();
    editFound(
        found,
        [this, &found](CCanSignal& signal) {
            return CurrentDbDialogs().EditSignal(this, Db, *found.owner, signal);
        },
        [this](const QModelIndex& node, const CCanSignal& signal) {
            m_model->SetNode(node, m_model->Key(node), qs(signal.Name));
            m_model->RemoveChildren(node);
            if (m_model->Key(node) == kKeyFreeSig) m_model->AddFreeSignalChildren(node, signal);
        });
}

void CCanDbEditTreeView::OnDeleteSignal() {
    deleteFound(ctxSignal());
}

void CCanDbEditTreeView::OnCopySignal() {
    copyFound(ctxSignal(), CopiedSignal, ID_PASTE_SIGNAL);
}

void CCanDbEditTreeView::newEnumFrom(tCAN_SIGNAL_ENUM table) {
    const QModelIndex folder = ctxOf(isEnumFolder);
    if (!folder.isValid()) return;
    if (!CurrentDbDialogs().EditEnum(this, Db, table)) return;
    Db->Enums.push_back(table);
    const QModelIndex node = m_model->AddNode(folder, kKeyEnum, qs(table.Name));
    m_model->AddEnumChildren(node, table);
    refreshList();
}

void CCanDbEditTreeView::OnNewEnum() {
    newEnumFrom(tCAN_SIGNAL_ENUM{});
}

void CCanDbEditTreeView::OnPasteEnum() {
    newEnumFrom(CopiedEnum);
}

void CCanDbEditTreeView::OnEditEnum() {
    editFound(
        ctxEnum(), [this](tCAN_SIGNAL_ENUM& table) { return CurrentDbDialogs().EditEnum(this, Db, table); },
        [this](const QModelIndex& node, const tCAN_SIGNAL_ENUM& table) {
            m_model->SetNode(node, kKeyEnum, qs(table.Name));
            m_model->RemoveChildren(node);
            m_model->AddEnumChildren(node, table);
        });
}

void CCanDbEditTreeView::OnDeleteEnum() {
    deleteFound(ctxEnum());
}

void CCanDbEditTreeView::OnCopyEnum() {
    copyFound(ctxEnum(), CopiedEnum, ID_PASTE_ENUM);
}

// ---- Changes made by the list pane ----

void CCanDbEditTreeView::UpdateTree(uint8_t mode, uint32_t oldKey, QString oldText, uint32_t newKey,
                                    QString newText) {
    if (mode == kTreeDelete) {
        newKey = oldKey;
        newText = oldText;
    } else if (mode == kTreeAdd) {
        oldKey = newKey;
        oldText = newText;
    }
    if (Db == nullptr || !m_curItem.isValid()) return;
    if (IsMsgKey(oldKey))
        updateMsgNodes(mode, oldKey, newKey, newText);
    else if (IsMsgSignalKey(oldKey))
        updateMsgSignalNodes(mode, newKey, oldText, newText);
    else if (oldKey == kKeyFreeSig)
        updateFreeSignalNodes(mode, newKey, oldText, newText);
    else if (oldKey == kKeyEnum)
        updatePublicEnumNodes(mode, newKey, oldText, newText);
}

void CCanDbEditTreeView::updateMsgNodes(uint8_t mode, uint32_t oldKey, uint32_t newKey,
                                        const QString& newText) {
    const QModelIndex folder = m_curItem;
    if (m_model->Key(folder) != kKeyMsgFolder) return;
    if (mode == kTreeDelete) {
        m_model->RemoveNode(m_model->ChildByKey(folder, oldKey));
        return;
    }
    const int m = FindMsgByKey(*Db, newKey);
    if (m < 0) return;
    const CCanMsg& msg = Db->Messages[static_cast<size_t>(m)];
    if (mode == kTreeAdd) {
        const QModelIndex node = m_model->AddNode(folder, MsgKey(msg), qs(MsgNodeText(msg)));
        m_model->AddMsgChildren(node, msg);
        return;
    }
    const QModelIndex node = m_model->ChildByKey(folder, oldKey);
    if (!node.isValid()) return;
    m_model->SetNode(node, newKey, newText);
    m_model->RemoveChildren(node);
    m_model->AddMsgChildren(node, msg);
}

void CCanDbEditTreeView::updateMsgSignalNodes(uint8_t mode, uint32_t newKey, const QString& oldText,
                                              const QString& newText) {
    const QModelIndex cur = m_curItem;
    const uint32_t curKey = m_model->Key(cur);
    if (IsMsgKey(curKey)) {
        if (mode == kTreeAdd) {
            m_model->AddNode(cur, newKey, newText);
            return;
        }
        const QModelIndex node = m_model->ChildByText(cur, oldText);
        if (mode == kTreeEdit)
            m_model->SetNode(node, m_model->Key(node), newText);
        else
            m_model->RemoveNode(node);
    } else if (IsMsgSignalKey(curKey)) {
        if (mode == kTreeEdit)
            m_model->SetNode(cur, curKey, newText);
        else if (mode == kTreeDelete)
            m_model->RemoveNode(cur);  // the current node goes with it
    }
}

void CCanDbEditTreeView::updateFreeSignalNodes(uint8_t mode, uint32_t newKey, const QString& oldText,
                                               const QString& newText) {
    updateListedNodes(mode, kKeySigFolder, kKeyFreeSig, newKey, oldText, newText,
                      [this, &newText](const QModelIndex& node) {
                          const int s = FindByName(Db->FreeSigMsg.Signals, newText.toStdString());
                          if (s >= 0)
                              m_model->AddFreeSignalChildren(node,
                                                             Db->FreeSigMsg.Signals[static_cast<size_t>(s)]);
                      });
}

void CCanDbEditTreeView::updatePublicEnumNodes(uint8_t mode, uint32_t newKey, const QString& oldText,
                                               const QString& newText) {
    // An edited table's entries follow too, as when the tree edits it.
    updateListedNodes(mode, kKeyEnumFolder, kKeyEnum, newKey, oldText, newText,
                      [this, &newText](const QModelIndex& node) {
                          const int e = FindByName(Db->Enums, newText.toStdString());
                          if (e >= 0) m_model->AddEnumChildren(node, Db->Enums[static_cast<size_t>(e)]);
                      });
}

template <class Fill>
void CCanDbEditTreeView::updateListedNodes(uint8_t mode, uint32_t folderKey, uint32_t itemKey,
                                           uint32_t newKey, const QString& oldText, const QString& newText,
                                           Fill fill) {
    const QModelIndex cur = m_curItem;
    const uint32_t curKey = m_model->Key(cur);
    auto rebuild = [&](const QModelIndex& node) {
        m_model->SetNode(node, itemKey, newText);
        m_model->RemoveChildren(node);
        fill(node);
    };
    if (curKey == folderKey) {
        if (mode == kTreeAdd) {
            fill(m_model->AddNode(cur, newKey, newText));
            return;
        }
        const QModelIndex node = m_model->ChildByText(cur, oldText);
        if (!node.isValid()) return;
        if (mode == kTreeEdit)
            rebuild(node);
        else
            m_model->RemoveNode(node);
    } else if (curKey == itemKey) {
        if (mode == kTreeEdit)
            rebuild(cur);
        else if (mode == kTreeDelete)
            m_model->RemoveNode(cur);
    }
}
