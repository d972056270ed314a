#include "windows/canselectsigdlg.h"

#include <QLineEdit>
#include <QTableView>

#include "app/canmsgdatahub.h"
#include "config/cfgrecords.h"
#include "platform/util/utils.h"

namespace {

constexpr uint32_t kId29Mask = 0x1FFFFFFFu;

QString idText(uint32_t msgKey) {
    const bool ext = (msgKey & kMsgKeyExtFlag) != 0;
    return vex::Hex8(msgKey & (ext ? kId29Mask : 0x7FFu)) + QString::fromLatin1(ext ? "(ext)" : "(std)");
}

bool excluded(const std::vector<tCAN_DB_SEL_CAN_SIG>& exclusions, const tCAN_SIG_GLOBAL_DATA& entry) {
    for (const tCAN_DB_SEL_CAN_SIG& e : exclusions)
        if (e.MsgKey == entry.MsgKey && e.CanSig.Name == entry.CanSig.Name) return true;
    return false;
}

}  // namespace

// ---- CCanDbSelectSigModel ----

CCanDbSelectSigModel::CCanDbSelectSigModel(const CCanMsgDataHub& hub, QObject* parent)
    : CListRows(parent), m_hub(hub) {}

const tCAN_SIG_GLOBAL_DATA* CCanDbSelectSigModel::entryOf(uint32_t sigNo) const {
    const auto& map = m_hub.GlobalSigMap();
    return sigNo < map.size() ? &map[sigNo] : nullptr;
}

void CCanDbSelectSigModel::Find(const std::vector<tCAN_DB_SEL_CAN_SIG>& exclusions, const QString& sigFilter,
                                const QString& msgFilter, const QString& idFilter) {
    const QString sig = sigFilter.toLower();
    const QString msg = msgFilter.toLower();
    const QString id = idFilter.toLower();
    const bool none = sig.isEmpty() && msg.isEmpty() && id.isEmpty();
    std::vector<CSelSigRow> rows;
    const auto& map = m_hub.GlobalSigMap();
    for (size_t no = 0; no < map.size(); ++no) {
        const tCAN_SIG_GLOBAL_DATA& entry = map[no];
        if (excluded(exclusions, entry)) continue;
        const bool hit = vex::FilterHits(sig, vex::LowerText(entry.CanSig.Name)) ||
                         vex::FilterHits(msg, vex::LowerText(entry.MsgName)) ||
                         vex::FilterHits(id, vex::LowerHex8(entry.MsgKey & kId29Mask)) || none;
        if (hit) rows.push_back({static_cast<uint32_t>(no), false});
    }
    resetRows(std::move(rows));
}

void CCanDbSelectSigModel::Sort(int column, int direction) {
    if (column != kSigName && column != kMsgName && column != kId) return;
    sortRows(direction, [&](const CSelSigRow& row) -> std::optional<QString> {
        const tCAN_SIG_GLOBAL_DATA* entry = entryOf(row.SigNo);
        if (entry == nullptr) return std::nullopt;
        if (column == kSigName) return vex::LowerText(entry->CanSig.Name);
        if (column == kMsgName) return vex::LowerText(entry->MsgName);
        return vex::Hex8(entry->MsgKey & kId29Mask);
    });
}

std::vector<tCAN_DB_SEL_CAN_SIG> CCanDbSelectSigModel::Ticked() const {
    std::vector<tCAN_DB_SEL_CAN_SIG> out;
    for (const CSelSigRow& row : m_rows) {
        if (!row.Checked) continue;
        const tCAN_SIG_GLOBAL_DATA* entry = entryOf(row.SigNo);
        if (entry == nullptr) continue;
        out.push_back({entry->MsgKey, row.SigNo, entry->CanSig});
    }
    return out;
}

int CCanDbSelectSigModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CCanDbSelectSigModel::data(const QModelIndex& index, int role) const {
    const CSelSigRow* row = rowAt(index);
    if (row == nullptr) return {};
    if (role == Qt::UserRole) return QVariant::fromValue(row->SigNo);
    if (role == Qt::CheckStateRole)
        return index.column() == kSigName ? QVariant(row->Checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(index.column() == kSigName ? Qt::AlignCenter
                                                              : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    const tCAN_SIG_GLOBAL_DATA* entry = entryOf(row->SigNo);
    if (entry == nullptr) return QString();
    const CCanSignal& s = entry->CanSig;
    switch (index.column()) {
        case kSigName:
            return QString::fromStdString(s.Name);
        case kMsgName:
            return QString::fromStdString(entry->MsgName);
        case kId:
            return idText(entry->MsgKey);
        case kType:
            return QString::fromLatin1(s.Sign ? "INT%1" : "UINT%1").arg(s.BitLen);
        case kByteFmt:
            return QString::fromLatin1(s.ByteFmtIntel ? "INTEL" : "MOTO");
        case kBitOffset:
            return QString::number(s.BitOffset);
        case kConversion:
            return QStringLiteral("(%1,%2)").arg(QString::fromStdString(DoubleToStr(s.ValFactor)),
                                                 QString::fromStdString(DoubleToStr(s.ValOffset)));
        case kRange:
            return QStringLiteral("[%1,%2]").arg(QString::fromStdString(DoubleToStr(s.PhyMin)),
                                                 QString::fromStdString(DoubleToStr(s.PhyMax)));
        case kUnit:
            return QString::fromStdString(s.Unit);
        default:
            return {};
    }
}

bool CCanDbSelectSigModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != kSigName || rowAt(index) == nullptr) return false;
    m_rows[static_cast<size_t>(index.row())].Checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags CCanDbSelectSigModel::flags(const QModelIndex& index) const {
    if (rowAt(index) == nullptr) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kSigName) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CCanDbSelectSigModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kColumns] = {"信号名称", "报文名称", "ID[HEX]",  "数据类型", "字节格式",
                                                   "位偏移",   "转换参数", "数值范围", "单位"};
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == kSigName ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    return QString::fromUtf8(kHeaders[section]);
}

// ---- CCanDbSelectSigDlg ----

CCanDbSelectSigDlg::CCanDbSelectSigDlg(CCanMsgDataHub& hub, QWidget* parent)
    : CPickerDlg(hub, parent),
      m_sigFilter(new QLineEdit(this)),
      m_msgFilter(new QLineEdit(this)),
      m_idFilter(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("从数据库中选择CAN信号"));
    m_sigFilter->setObjectName(QStringLiteral("sigFilter"));
    m_msgFilter->setObjectName(QStringLiteral("msgFilter"));
    m_idFilter->setObjectName(QStringLiteral("idFilter"));
    vex::BuildPicker(
        *this, *m_list, *m_model, {300, 150, 120, 80, 80, 60, 160, 160, 80},
        {{{QStringLiteral("信号名称：")}, m_sigFilter, 2},
         {{QStringLiteral("或（||）报文名称：")}, m_msgFilter, 2},
         {{QStringLiteral("或（||）报文ID[HEX]：")}, m_idFilter, 1}},
        [this] { OnFind(); }, [this] { OnOK(); }, [this](int column) { OnHeaderClicked(column); });
    resize(1240, 560);
}

void CCanDbSelectSigDlg::OnFind() {
    m_model->Find(Exclusions, m_sigFilter->text(), m_msgFilter->text(), m_idFilter->text());
}

void CCanDbSelectSigDlg::OnOK() {
    Results = m_model->Ticked();
    accept();
}

bool CCanDbSelectSigDlg::sortsBy(int column) const {
    return column == CCanDbSelectSigModel::kSigName || column == CCanDbSelectSigModel::kMsgName ||
           column == CCanDbSelectSigModel::kId;
}
