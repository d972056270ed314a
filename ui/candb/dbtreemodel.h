#pragma once
// The nodes of the database editor's tree: each has a key (nodekeys.h) and a text. The tree pane changes
// them only through this model, so the view and every persistent index (the pane's current and context
// nodes) follow: an index to a node that is removed, with its parent or alone, becomes invalid.
#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "candb/canmodel.h"

namespace candbui {

class CDbTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole;

    explicit CDbTreeModel(QObject* parent = nullptr);
    ~CDbTreeModel() override;

    // All nodes anew from the database (one reset): the root, "Messages" with each message and its
    // signals (messages sorted by text), "Signals" with the free signals and their value tables, "Enums"
    // with the public tables and their entries.
    void Fill(const tCAN_DATABASE& db, const QString& rootText);
    void Clear();

    QModelIndex AddNode(const QModelIndex& parent, uint32_t key, const QString& text);
    void RemoveNode(const QModelIndex& index);
    void RemoveChildren(const QModelIndex& index);
    void SetNode(const QModelIndex& index, uint32_t key, const QString& text);
    // Sorts the node's children by text, letter case ignored, equal texts keeping their order.
    void SortChildren(const QModelIndex& index);

    uint32_t Key(const QModelIndex& index) const;
    QString Text(const QModelIndex& index) const;
    // The first child with the key (or text); invalid when none.
    QModelIndex ChildByKey(const QModelIndex& parent, uint32_t key) const;
    QModelIndex ChildByText(const QModelIndex& parent, const QString& text) const;

    // Children of a message node, of a free-signal node, of a public table's node.
    void AddMsgChildren(const QModelIndex& msgNode, const CCanMsg& msg);
    void AddFreeSignalChildren(const QModelIndex& sigNode, const CCanSignal& signal);
    void AddEnumChildren(const QModelIndex& enumNode, const tCAN_SIGNAL_ENUM& table);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(Node* node) const;

    std::unique_ptr<Node> m_top;  // holds the top-level nodes
};

}  // namespace candbui
