#include "windows/sendmsgmodel.h"

#include <cstdio>

#include "windows/sendcelldelegate.h"

namespace {

QString format(const char* pattern, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, pattern, value);
    return QString::fromLatin1(text);
}

}  // namespace

CSendMsgModel::CSendMsgModel(tCFG_SET_SEND& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store) {}

int CSendMsgModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CSendMsgModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const tCFG_SET_SEND_MSG* CSendMsgModel::Record(uint32_t key) const {
    const auto it = m_store.MsgMap.find(key);
    return it == m_store.MsgMap.end() ? nullptr : &it->second;
}

QVariant CSendMsgModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    if (role == CSendCellDelegate::KeyRole) return QVariant::fromValue<qlonglong>(row.key);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const int column = index.column();
    if (column == kCyclic) return QString::fromLatin1(row.cyclic ? "1" : "0");
    if (column == kSend) return QString::fromLatin1(row.sending ? "1" : "0");
    const tCFG_SET_SEND_MSG* rec = Record(row.key);
    if (rec == nullptr) return QString();
    switch (column) {
        case kName:
            return QString::fromStdString(rec->MsgName);
        case kId:
            return format("%08X", rec->MsgID);
        case kIdType:
            return QString::fromLatin1(rec->Ext ? "ext" : "std");
        case kFrmType:
            return QString::fromLatin1(rec->Rmt ? "rmt" : "dat");
        case kChan:
            return QString::number(rec->Chan);
        case kPeriod:
            return QString::number(rec->CycTxTime);
        case kCount:
            return QString::number(rec->CycTxCount);
        case kLength:
            return QString::number(rec->DL);
        default: {
            const int byte = column - kData0;
            if (byte >= rec->DL) return QStringLiteral("--");
            return format("%02X", rec->TxData[byte]);
        }
    }
}

Qt::ItemFlags CSendMsgModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QVariant CSendMsgModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kData0] = {"名称",     "ID[HEX]", "ID类型", "帧类型", "通道",
                                                 "周期[ms]", "次数",    "长度",   "循环",   "发送"};
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    if (section < kData0) return QString::fromUtf8(kHeaders[section]);
    return QStringLiteral("d[%1]").arg(section - kData0);
}

void CSendMsgModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int CSendMsgModel::AddKey(uint32_t key) {
    const int existing = RowOfKey(key);
    if (existing >= 0) {
        RecordChanged(key);
        return existing;
    }
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_rows.push_back({key, false, false});
    endInsertRows();
    return row;
}

int CSendMsgModel::AddRecord(const tCFG_SET_SEND_MSG& record) {
    const uint32_t key = MsgKey(record.MsgID, record.Ext);
    tCFG_SET_SEND_MSG copy = record;
    m_store.MsgMap[key] = std::move(copy);
    return AddKey(key);
}

bool CSendMsgModel::SetRecord(uint32_t key, const tCFG_SET_SEND_MSG& record) {
    const auto it = m_store.MsgMap.find(key);
    if (it == m_store.MsgMap.end()) return false;
    tCFG_SET_SEND_MSG copy = record;
    it->second = std::move(copy);
    RecordChanged(key);
    return true;
}

void CSendMsgModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    m_store.MsgMap.erase(m_rows[static_cast<size_t>(row)].key);
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

int CSendMsgModel::RowOfKey(uint32_t key) const {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].key == key) return static_cast<int>(i);
    return -1;
}

void CSendMsgModel::SetCyclic(int row, bool cyclic) {
    m_rows.at(static_cast<size_t>(row)).cyclic = cyclic;
    cellChanged(row, kCyclic);
}

void CSendMsgModel::ResetCyclic() {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_rows[i].cyclic) continue;
        m_rows[i].cyclic = false;
        cellChanged(static_cast<int>(i), kCyclic);
    }
}

void CSendMsgModel::SetSending(int row, bool sending) {
    m_rows.at(static_cast<size_t>(row)).sending = sending;
    cellChanged(row, kSend);
}

void CSendMsgModel::RecordChanged(uint32_t key) {
    const int row = RowOfKey(key);
    if (row >= 0) emit dataChanged(index(row, 0), index(row, kColumns - 1), {Qt::DisplayRole});
}

void CSendMsgModel::cellChanged(int row, int column) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}
