#include "candb/ui/canselectmsgdlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "app/canmsgdatahub.h"
#include "platform/qt/prompt.h"
#include "windows/reportlist.h"

namespace {

QString hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return QString::fromLatin1(text);
}

}  // namespace

// ---- CCanDbSelectMsgModel ----

CCanDbSelectMsgModel::CCanDbSelectMsgModel(const CCanMsgDataHub& hub, QObject* parent)
    : CPickerRows(parent), m_hub(hub) {}

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
        return column == kName ? vex::LowerText(entry->CanMsg->Name) : hex8(entry->CanMsg->id);
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
            return hex8(msg.id);
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
    : QDialog(parent),
      m_hub(hub),
      m_model(new CCanDbSelectMsgModel(hub, this)),
      m_list(new QTableView(this)),
      m_nameFilter(new QLineEdit(this)),
      m_idFilter(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("从数据库中选择CAN报文"));
    m_list->setObjectName(QStringLiteral("list"));
    m_nameFilter->setObjectName(QStringLiteral("nameFilter"));
    m_idFilter->setObjectName(QStringLiteral("idFilter"));

    m_list->setModel(m_model);
    vex::SetupReportList(*m_list);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {140, 100, 80, 60};
    for (int c = 0; c < CCanDbSelectMsgModel::kColumns; ++c) m_list->setColumnWidth(c, widths[c]);
    m_list->horizontalHeader()->setSectionsClickable(true);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &CCanDbSelectMsgDlg::OnHeaderClicked);

    auto* find = new QPushButton(QStringLiteral("查找"), this);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    find->setObjectName(QStringLiteral("find"));
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    find->setAutoDefault(false);
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    connect(find, &QPushButton::clicked, this, &CCanDbSelectMsgDlg::OnFind);
    connect(ok, &QPushButton::clicked, this, &CCanDbSelectMsgDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_nameFilter, &QLineEdit::textChanged, this, &CCanDbSelectMsgDlg::OnFind);
    connect(m_idFilter, &QLineEdit::textChanged, this, &CCanDbSelectMsgDlg::OnFind);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("报文名称："), this));
    filters->addWidget(m_nameFilter, 2);
    filters->addWidget(new QLabel(QStringLiteral("或（||）"), this));
    filters->addWidget(new QLabel(QStringLiteral("报文ID[HEX]："), this));
    filters->addWidget(m_idFilter, 1);
    filters->addWidget(find);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(560, 460);
}

void CCanDbSelectMsgDlg::Reload() {
    Results.clear();
    m_hub.BuildGlobalMaps();
    m_model->Find(Exclusions, {}, {});
    m_loaded = true;
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

void CCanDbSelectMsgDlg::OnHeaderClicked(int column) {
    m_model->Sort(column, m_direction);
    m_direction = -m_direction;
}

void CCanDbSelectMsgDlg::showEvent(QShowEvent* event) {
    if (!m_loaded) Reload();
    QDialog::showEvent(event);
}
