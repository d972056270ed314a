#include "ui/candb/dbtreemodel.h"

#include <algorithm>

#include "ui/candb/dbeditcheck.h"
#include "ui/candb/nodekeys.h"

namespace candbui {

struct CDbTreeModel::Node {
    uint32_t key = 0;
    QString text;
    Node* parent = nullptr;
    int rowIdx = 0;  // the node's place among its parent's children
    std::vector<std::unique_ptr<Node>> children;

    Node* add(uint32_t k, QString t) {
        children.push_back(std::make_unique<Node>());
        Node* n = children.back().get();
        n->key = k;
        n->text = std::move(t);
        n->parent = this;
        n->rowIdx = static_cast<int>(children.size()) - 1;
        return n;
    }
    int row() const { return rowIdx; }
    void renumber(size_t from = 0) {
        for (size_t i = from; i < children.size(); ++i) children[i]->rowIdx = static_cast<int>(i);
    }
};

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CDbTreeModel::CDbTreeModel(QObject* parent) : QAbstractItemModel(parent), m_top(std::make_unique<Node>()) {}

CDbTreeModel::~CDbTreeModel() = default;

void CDbTreeModel::Fill(const tCAN_DATABASE& db, const QString& rootText) {
    beginResetModel();
    m_top->children.clear();
    Node* root = m_top->add(kKeyRoot, rootText);
    Node* msgs = root->add(kKeyMsgFolder, QStringLiteral("Messages"));
    for (const CCanMsg& m : db.Messages) {
        Node* n = msgs->add(MsgKey(m), qs(MsgNodeText(m)));
        for (const CCanSignal& s : m.Signals) n->add(MsgSignalKey(n->key), qs(s.Name));
    }
    std::stable_sort(msgs->children.begin(), msgs->children.end(), [](const auto& a, const auto& b) {
        return a->text.compare(b->text, Qt::CaseInsensitive) < 0;
    });
    msgs->renumber();
    Node* sigs = root->add(kKeySigFolder, QStringLiteral("Signals"));
    for (const CCanSignal& s : db.FreeSigMsg.Signals) {
        Node* n = sigs->add(kKeyFreeSig, qs(s.Name));
        if (s.Enum == 0) continue;
        Node* e = n->add(kKeyFreeSigEnumName, qs(s.SigEnum.Name));
        for (const tCAN_SIGNAL_ENUM_ITEM& item : s.SigEnum.Items)
            e->add(kKeyFreeSigEnumItem, qs(EnumItemText(item)));
    }
    Node* enums = root->add(kKeyEnumFolder, QStringLiteral("Enums"));
    for (const tCAN_SIGNAL_ENUM& t : db.Enums) {
        Node* n = enums->add(kKeyEnum, qs(t.Name));
        for (const tCAN_SIGNAL_ENUM_ITEM& item : t.Items) n->add(kKeyEnumItem, qs(EnumItemText(item)));
    }
    endResetModel();
}

void CDbTreeModel::Clear() {
    beginResetModel();
    m_top->children.clear();
    endResetModel();
}

CDbTreeModel::Node* CDbTreeModel::nodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return m_top.get();
    return static_cast<Node*>(index.internalPointer());
}

QModelIndex CDbTreeModel::indexOf(Node* node) const {
    if (node == nullptr || node == m_top.get()) return {};
    return createIndex(node->row(), 0, node);
}

QModelIndex CDbTreeModel::AddNode(const QModelIndex& parent, uint32_t key, const QString& text) {
    Node* p = nodeOf(parent);
    const int row = static_cast<int>(p->children.size());
    beginInsertRows(parent, row, row);
    Node* n = p->add(key, text);
    endInsertRows();
    return indexOf(n);
}

void CDbTreeModel::RemoveNode(const QModelIndex& index) {
    if (!index.isValid()) return;
    Node* n = nodeOf(index);
    Node* p = n->parent;
    const int row = n->row();
    beginRemoveRows(index.parent(), row, row);
    p->children.erase(p->children.begin() + row);
    p->renumber(static_cast<size_t>(row));
    endRemoveRows();
}

void CDbTreeModel::RemoveChildren(const QModelIndex& index) {
    Node* n = nodeOf(index);
    if (n->children.empty()) return;
    beginRemoveRows(index, 0, static_cast<int>(n->children.size()) - 1);
    n->children.clear();
    endRemoveRows();
}

void CDbTreeModel::SetNode(const QModelIndex& index, uint32_t key, const QString& text) {
    if (!index.isValid()) return;
    Node* n = nodeOf(index);
    n->key = key;
    n->text = text;
    emit dataChanged(index, index);
}

void CDbTreeModel::SortChildren(const QModelIndex& index) {
    Node* n = nodeOf(index);
    emit layoutAboutToBeChanged({QPersistentModelIndex(index)}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<Node*> nodesBefore;
    for (const QModelIndex& i : before) nodesBefore.push_back(i.isValid() ? nodeOf(i) : nullptr);
    std::stable_sort(n->children.begin(), n->children.end(), [](const auto& a, const auto& b) {
        return a->text.compare(b->text, Qt::CaseInsensitive) < 0;
    });
    n->renumber();
    QModelIndexList after;
    for (size_t i = 0; i < nodesBefore.size(); ++i)
        after.push_back(nodesBefore[i] ? createIndex(nodesBefore[i]->row(),
                                                     before[static_cast<int>(i)].column(), nodesBefore[i])
                                       : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({QPersistentModelIndex(index)}, QAbstractItemModel::VerticalSortHint);
}

uint32_t CDbTreeModel::Key(const QModelIndex& index) const {
    return index.isValid() ? nodeOf(index)->key : 0;
}

QString CDbTreeModel::Text(const QModelIndex& index) const {
    return index.isValid() ? nodeOf(index)->text : QString();
}

QModelIndex CDbTreeModel::ChildByKey(const QModelIndex& parent, uint32_t key) const {
    for (const auto& c : nodeOf(parent)->children)
        if (c->key == key) return indexOf(c.get());
    return {};
}

QModelIndex CDbTreeModel::ChildByText(const QModelIndex& parent, const QString& text) const {
    for (const auto& c : nodeOf(parent)->children)
        if (c->text == text) return indexOf(c.get());
    return {};
}

void CDbTreeModel::AddMsgChildren(const QModelIndex& msgNode, const CCanMsg& msg) {
    if (msg.Signals.empty()) return;
    Node* n = nodeOf(msgNode);
    const int first = static_cast<int>(n->children.size());
    beginInsertRows(msgNode, first, first + static_cast<int>(msg.Signals.size()) - 1);
    for (const CCanSignal& s : msg.Signals) n->add(MsgSignalKey(MsgKey(msg)), qs(s.Name));
    endInsertRows();
}

void CDbTreeModel::AddFreeSignalChildren(const QModelIndex& sigNode, const CCanSignal& signal) {
    if (signal.Enum == 0) return;
    const QModelIndex e = AddNode(sigNode, kKeyFreeSigEnumName, qs(signal.SigEnum.Name));
    for (const tCAN_SIGNAL_ENUM_ITEM& item : signal.SigEnum.Items)
        AddNode(e, kKeyFreeSigEnumItem, qs(EnumItemText(item)));
}

void CDbTreeModel::AddEnumChildren(const QModelIndex& enumNode, const tCAN_SIGNAL_ENUM& table) {
    for (const tCAN_SIGNAL_ENUM_ITEM& item : table.Items)
        AddNode(enumNode, kKeyEnumItem, qs(EnumItemText(item)));
}

QModelIndex CDbTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    Node* p = nodeOf(parent);
    if (static_cast<size_t>(row) >= p->children.size()) return {};
    return createIndex(row, 0, p->children[static_cast<size_t>(row)].get());
}

QModelIndex CDbTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    return indexOf(nodeOf(child)->parent);
}

int CDbTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return static_cast<int>(nodeOf(parent)->children.size());
}

int CDbTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant CDbTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return nodeOf(index)->text;
    if (role == KeyRole) return QVariant::fromValue<uint>(nodeOf(index)->key);
    return {};
}

}  // namespace candbui
