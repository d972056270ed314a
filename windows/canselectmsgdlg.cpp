#include "windows/canselectmsgdlg.h"

#include <QLineEdit>
#include <QTableView>

#include <algorithm>

#include "app/canmsgdatahub.h"
#include "platform/qt/prompt.h"

// ---- CCanDbSelectMsgModel ----

CCanDbSelectMsgModel::CCanDbSelectMsgModel(const CCanMsgDataHub& hub, QObject* parent)
    : CListRows(parent), m_hub(hub) {}

void CCanDbSelectMsgModel::Find(const std::vector<uint32_t>& exclusions, const QString& nameFilter,
                                const QString& idFilter) {
    const QString name = nameFilter.toLower();
    const QString id = idFilter.toLower();
    std::vector<uint32_t> rows;
    for (const auto& [key, entry] : m_hub.GlobalMsgMap()) {
        if (std::find(exclusions.begin(), exclusions.end(), key) != exclusions.end()) continue;
        const bool hit = vex::FilterHits(name, vex::LowerText(entry.CanMsg->Name)) ||
                         vex::FilterHits(id, vex::LowerHex8(entry.CanMsg->id)) ||
                         (name.isEmpty() && id.isEmpty());
        if (hit) rows.push_back(key);
    }
    resetRows(std::move(rows));
}

void CCanDbSelectMsgModel::Sort(int column, int direction) {
    if (column != kName && column != kId) return;
    sortRows(direction, [&](uint32_t key) -> std::optional<QString> {
        const tCAN_MSG_GLOBAL_DATA* entry = m_hub.FindGlobalMsg(key);
        if (entry == nullptr) return std::nullopt;
        return column == kName ? vex::LowerText(entry->CanMsg->Name) : vex::Hex8(entry->CanMsg->id);
    });
}

int CCanDbSelectMsgModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CCanDbSelectMsgModel::data(const QModelIndex& index, int role) const {
    const uint32_t* key = rowAt(index);
    if (key == nullptr) return {};
    if (role == Qt::UserRole) return QVariant::fromValue(*key);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const tCAN_MSG_GLOBAL_DATA* entry = m_hub.FindGlobalMsg(*key);
    if (entry == nullptr) return QString();
    const CCanMsg& msg = *entry->CanMsg;
    switch (index.column()) {
        case kName:
            return QString::fromStdString(msg.Name);
        case kId:
            return vex::Hex8(msg.id);
        case kType:
            return QString::fromLatin1(msg.Ext ? "ext" : "std");
        case kLength:
            return QString::number(msg.DL);
        default:
            return {};
    }
}

QVariant CCanDbSelectMsgModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
        case kName:
            return QStringLiteral("名称");
        case kId:
            return QStringLiteral("ID[HEX]");
        case kType:
            return QStringLiteral("类型");
        case kLength:
            return QStringLiteral("长度");
        default:
            return {};
    }
}

// ---- CCanDbSelectMsgDlg ----

CCanDbSelectMsgDlg::CCanDbSelectMsgDlg(CCanMsgDataHub& hub, QWidget* parent)
    : CPickerDlg(hub, parent), m_nameFilter(new QLineEdit(this)), m_idFilter(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("从数据库中选择CAN报文"));
    m_nameFilter->setObjectName(QStringLiteral("nameFilter"));
    m_idFilter->setObjectName(QStringLiteral("idFilter"));
    vex::BuildPicker(
        *this, *m_list, *m_model, {140, 100, 80, 60},
        {{{QStringLiteral("报文名称：")}, m_nameFilter, 2},
         {{QStringLiteral("或（||）"), QStringLiteral("报文ID[HEX]：")}, m_idFilter, 1}},
        [this] { OnFind(); }, [this] { OnOK(); }, [this](int column) { OnHeaderClicked(column); });
    resize(560, 460);
}

void CCanDbSelectMsgDlg::OnFind() {
    m_model->Find(Exclusions, m_nameFilter->text(), m_idFilter->text());
}

void CCanDbSelectMsgDlg::OnOK() {
    // The selection model moves with the rows when they are sorted, so the selected row is the message
    // the user clicked, whatever its position now.
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        vex::ShowMessage(this, QStringLiteral("请选择其中一项。"));
        return;
    }
    Results.clear();
    Results.push_back(selected.front().data(Qt::UserRole).toUInt());
    accept();
}
