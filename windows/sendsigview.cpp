#include "windows/sendsigview.h"

#include <QHeaderView>

#include "platform/qt/prompt.h"
#include "windows/reportlist.h"
#include "windows/sendcelldelegate.h"
#include "windows/sigvaluetext.h"

namespace {

using S = CSendSigModel;

// The first signal of the message named exactly `name`, or null.
const CCanSignal* findSignal(const CCanMsg& msg, const QString& name) {
    const std::string utf8 = name.toStdString();
    for (const CCanSignal& sig : msg.Signals)
        if (sig.Name == utf8) return &sig;
    return nullptr;
}

}  // namespace

// ---- CSendSigModel ----

int CSendSigModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CSendSigModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CSendSigModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    if (role == CSendCellDelegate::KeyRole)
        return m_key < 0 ? QVariant() : QVariant::fromValue<qlonglong>(m_key);
    if (role == ItemDataRole) return row.itemData;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == kName ? Qt::AlignCenter
                                                           : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kName:
            return row.name;
        case kRaw:
            return row.raw;
        case kPhy:
            return row.phy;
        default:
            return row.unit;
    }
}

Qt::ItemFlags CSendSigModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QVariant CSendSigModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == kName ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
        case kName:
            return QStringLiteral("信号名称");
        case kRaw:
            return m_rawHeader;
        case kPhy:
            return QStringLiteral("Phys Value");
        default:
            return QStringLiteral("单位");
    }
}

void CSendSigModel::SetRows(std::vector<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CSendSigModel::UpdateSigValue(const QString& name, const QString& raw, const QString& phy) {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].name != name) continue;
        m_rows[i].raw = raw;
        m_rows[i].phy = phy;
        const int r = static_cast<int>(i);
        emit dataChanged(index(r, kRaw), index(r, kPhy), {Qt::DisplayRole});
        return;
    }
}

void CSendSigModel::SetRawHeader(const QString& header) {
    m_rawHeader = header;
    emit headerDataChanged(Qt::Horizontal, kRaw, kRaw);
}

// ---- CSendSigView ----

CSendSigView::CSendSigView(tCFG_SET_SEND& store, QWidget* parent)
    : QTableView(parent),
      m_store(store),
      m_model(new CSendSigModel(this)),
      m_delegate(new CSendCellDelegate(this)) {
    setModel(m_model);
    vex::SetupReportList(*this);
    const int widths[S::kColumns] = {250, 120, 350, 65};
    for (int c = 0; c < S::kColumns; ++c) setColumnWidth(c, widths[c]);
    setEditTriggers(QAbstractItemView::DoubleClicked);
    setItemDelegate(m_delegate);
    horizontalHeader()->setSectionsClickable(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CSendSigView::OnHeaderClicked);
    m_delegate->SetChooser([this](const QModelIndex& index) -> CellEditor {
        const auto it = m_store.MsgMap.find(static_cast<uint32_t>(m_key));
        if (m_key < 0 || it == m_store.MsgMap.end()) return {};
        const CCanSignal* sig =
            findSignal(it->second.CanMsg, index.siblingAtColumn(S::kName).data().toString());
        if (sig == nullptr) return {};
        if (index.column() == S::kRaw) {
            if (!vex::SigRawEditable(*sig, rawHex())) return {};
            return CellEditor::edit(CSendEditCtrl::kInputText);
        }
        if (index.column() != S::kPhy) return {};
        if (!sig->Enum) return CellEditor::edit(CSendEditCtrl::kInputText);
        QStringList choices;
        for (const tCAN_SIGNAL_ENUM_ITEM& item : sig->SigEnum.Items)
            choices.push_back(QString::fromStdString(item.txt));
        return CellEditor::combo(choices);
    });
    connect(m_delegate, &CSendCellDelegate::editEnded, this, &CSendSigView::OnEditEnd);
}

bool CSendSigView::rawHex() const {
    return m_store.SigRawValShowHex != 0;
}

void CSendSigView::updateRawHeader() {
    m_model->SetRawHeader(rawHex() ? QStringLiteral("Raw Value[HEX]") : QStringLiteral("Raw Value[DEC]"));
}

void CSendSigView::LoadSignals(uint32_t key) {
    if (m_key != static_cast<int64_t>(key)) {
        const auto it = m_store.MsgMap.find(key);
        if (it == m_store.MsgMap.end()) return;
        m_key = key;
        m_model->SetKey(m_key);
        std::vector<S::Row> rows;
        if (it->second.Parse) {
            for (const CCanSignal& sig : it->second.CanMsg.Signals) {
                S::Row row;
                row.name = QString::fromStdString(sig.Name);
                row.raw = row.phy = QStringLiteral("  ");
                row.unit = QString::fromStdString(sig.Unit);
                row.itemData = (sig.Enum ? 1 : 0) + (sig.Sign ? 2 : 0);
                rows.push_back(std::move(row));
            }
        }
        m_model->SetRows(std::move(rows));
    }
    RefreshValues(key);
}

void CSendSigView::RefreshValues(uint32_t key) {
    if (m_key != static_cast<int64_t>(key)) {
        vex::ShowMessage(this, QStringLiteral("目标发送报文与当前设置的发送报文不一致。"));
        return;
    }
    const auto it = m_store.MsgMap.find(key);
    if (it == m_store.MsgMap.end() || !it->second.Parse) return;
    const tCFG_SET_SEND_MSG& rec = it->second;
    for (const CCanSignal& sig : rec.CanMsg.Signals)
        m_model->UpdateSigValue(QString::fromStdString(sig.Name), vex::SigRawText(sig, rec.TxData, rawHex()),
                                vex::SigPhyText(sig, rec.TxData));
}

void CSendSigView::ResetSigList() {
    m_model->SetRows({});
    m_key = -1;
    m_model->SetKey(-1);
    updateRawHeader();
}

void CSendSigView::OnMsgDeleted(uint32_t key) {
    if (m_key != static_cast<int64_t>(key)) return;
    m_model->SetRows({});
    m_key = -1;
    m_model->SetKey(-1);
}

void CSendSigView::OnHeaderClicked(int column) {
    if (column != S::kRaw) return;
    uint8_t& flag = m_store.SigRawValShowHex;
    flag = flag ? 0 : 1;
    updateRawHeader();
    if (m_key >= 0) RefreshValues(static_cast<uint32_t>(m_key));
}

void CSendSigView::OnEditEnd(const CellEditEnd& end) {
    if (end.cancelled || end.key < 0 || end.key != m_key) return;
    if (end.row < 0 || end.row >= m_model->rowCount()) return;
    const uint32_t key = static_cast<uint32_t>(m_key);
    const auto it = m_store.MsgMap.find(key);
    if (it == m_store.MsgMap.end()) return;
    tCFG_SET_SEND_MSG rec = it->second;
    const CCanSignal* sig = findSignal(rec.CanMsg, m_model->Rows()[static_cast<size_t>(end.row)].name);
    if (sig == nullptr) return;
    if (end.column == S::kPhy)
        vex::ApplySigPhyText(*sig, rec.TxData, end.text);
    else if (end.column == S::kRaw)
        vex::ApplySigRawText(*sig, rec.TxData, end.text, rawHex());
    else
        return;
    it->second = std::move(rec);
    RefreshValues(key);
    emit dataBytesChanged(key);
}
