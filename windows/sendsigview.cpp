#include "windows/sendsigview.h"

#include <QHeaderView>

#include <cstring>

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

template <class Section>
SigListStore storeOf(Section& section) {
    SigListStore store;
    store.rawHexFlag = &section.SigRawValShowHex;
    store.find = [&section](uint32_t key) {
        SigListStore::Record rec;
        const auto it = section.MsgMap.find(key);
        if (it == section.MsgMap.end()) return rec;
        rec.data = &it->second.TxData;
        rec.parse = it->second.Parse != 0;
        rec.msg = &it->second.CanMsg;
        return rec;
    };
    return store;
}

}  // namespace

SigListStore SigListStore::Of(tCFG_SET_SEND& store) {
    return storeOf(store);
}

SigListStore SigListStore::Of(tCFG_SET_EXT_QUEUE_TX_SERVICE& store) {
    return storeOf(store);
}

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
    : CSendSigView(SigListStore::Of(store), parent) {}

CSendSigView::CSendSigView(SigListStore store, QWidget* parent)
    : QTableView(parent),
      m_store(std::move(store)),
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
        if (m_key < 0) return {};
        const SigListStore::Record rec = m_store.find(static_cast<uint32_t>(m_key));
        if (rec.data == nullptr) return {};
        const CCanSignal* sig = findSignal(*rec.msg, index.siblingAtColumn(S::kName).data().toString());
        if (sig == nullptr) return {};
        if (index.column() == S::kRaw) {
            if (!vex::SigRawEditable(*sig, rawHex())) return {};
            return CellEditor::edit(CSendEditCtrl::kInputText);
        }
        if (index.column() != S::kPhy) return {};
        if (!sig->Enum) return CellEditor::edit(CSendEditCtrl::kInputText);
        // A value the table does not name shows as its number, so a number can be typed as well.
        QStringList choices;
        for (const tCAN_SIGNAL_ENUM_ITEM& item : sig->SigEnum.Items)
            choices.push_back(QString::fromStdString(item.txt));
        return CellEditor::typedCombo(choices);
    });
    connect(m_delegate, &CSendCellDelegate::editEnded, this, &CSendSigView::OnEditEnd);
}

bool CSendSigView::rawHex() const {
    return *m_store.rawHexFlag != 0;
}

void CSendSigView::updateRawHeader() {
    m_model->SetRawHeader(rawHex() ? QStringLiteral("Raw Value[HEX]") : QStringLiteral("Raw Value[DEC]"));
}

void CSendSigView::LoadSignals(uint32_t key) {
    if (m_key != static_cast<int64_t>(key)) {
        const SigListStore::Record rec = m_store.find(key);
        if (rec.data == nullptr) return;
        m_key = key;
        m_model->SetKey(m_key);
        std::vector<S::Row> rows;
        if (rec.parse) {
            for (const CCanSignal& sig : rec.msg->Signals) {
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
    const SigListStore::Record rec = m_store.find(key);
    if (rec.data == nullptr || !rec.parse) return;
    for (const CCanSignal& sig : rec.msg->Signals)
        m_model->UpdateSigValue(QString::fromStdString(sig.Name), vex::SigRawText(sig, *rec.data, rawHex()),
                                vex::SigPhyText(sig, *rec.data));
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
    uint8_t& flag = *m_store.rawHexFlag;
    flag = flag ? 0 : 1;
    updateRawHeader();
    if (m_key >= 0) RefreshValues(static_cast<uint32_t>(m_key));
}

void CSendSigView::OnEditEnd(const CellEditEnd& end) {
    if (end.cancelled || end.key < 0 || end.key != m_key) return;
    if (end.row < 0 || end.row >= m_model->rowCount()) return;
    const uint32_t key = static_cast<uint32_t>(m_key);
    const SigListStore::Record rec = m_store.find(key);
    if (rec.data == nullptr) return;
    const CCanSignal* sig = findSignal(*rec.msg, m_model->Rows()[static_cast<size_t>(end.row)].name);
    if (sig == nullptr) return;
    if (end.column != S::kPhy && end.column != S::kRaw) return;
    // A value the signal's bits cannot carry is refused with a message; the cell keeps its value.
    const QString refusal = end.column == S::kPhy ? vex::validateSigPhyText(*sig, end.text)
                                                  : vex::validateSigRawText(*sig, end.text, rawHex());
    if (!refusal.isEmpty()) {
        vex::ShowMessage(this, refusal);
        return;
    }
    uint8_t bytes[8];
    std::memcpy(bytes, *rec.data, sizeof bytes);
    if (end.column == S::kPhy)
        vex::ApplySigPhyText(*sig, bytes, end.text);
    else
        vex::ApplySigRawText(*sig, bytes, end.text, rawHex());
    std::memcpy(*rec.data, bytes, sizeof bytes);
    RefreshValues(key);
    emit dataBytesChanged(key);
}
