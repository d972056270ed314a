#include "ui/app/canmsgfiltersetdlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "config/filter/canmsgfiltercheck.h"
#include "platform/qt/prompt.h"
#include "ui/app/canmsgfiltersetmsgdlg.h"
#include "windows/txmsgdlg.h"

namespace {

QString hexText(uint32_t v) {
    return QString::asprintf("%08X", v);
}

// The value of the checked radio of a group, or `none` when no radio is checked.
uint8_t checkedValue(const QButtonGroup* group, uint8_t none) {
    const int id = group->checkedId();
    return id < 0 ? none : static_cast<uint8_t>(id);
}

void check(QButtonGroup* group, int value) {
    if (QAbstractButton* b = group->button(value)) b->setChecked(true);
}

const QString kNoSelection = QStringLiteral("请选择其中一项进行操作。");

}  // namespace

std::optional<FilterSetRefusal> validateFilterSetDlg(const FilterSetDlgInput& input, uint32_t& min,
                                                     uint32_t& max) {
    const bool rangeUsed = input.enable && input.idValType == 0;
    const bool listUsed = input.enable && input.idValType == 1;
    // A range end the filter uses must be a hexadecimal number, but may lie beyond the identifier type:
    // an end beyond it reaches the type's last identifier (the default 0..1FFFFFFF takes every standard
    // identifier), a start beyond it gives a range that matches nothing, as a start above the end does.
    // An end the filter does not use is read by its leading hexadecimal digits and never refused.
    auto readEnd = [&](const QString& text, uint32_t& value) {
        if (rangeUsed) return validateTxMsgIdText(text, value);
        value = FilterMsgIdFromText(text.toStdString());
        return QString();
    };
    uint32_t minValue = 0;
    uint32_t maxValue = 0;
    if (QString failure = readEnd(input.minText, minValue); !failure.isEmpty())
        return FilterSetRefusal{FilterSetRefusal::Min, -1, failure};
    if (QString failure = readEnd(input.maxText, maxValue); !failure.isEmpty())
        return FilterSetRefusal{FilterSetRefusal::Max, -1, failure};
    // A listed identifier beyond the type would never match: it is refused, not kept as a dead row.
    if (listUsed) {
        for (size_t r = 0; r < input.listed.size(); ++r)
            if (QString failure = validateTxMsgIdRange(input.listed[r], !input.stdOnly); !failure.isEmpty())
                return FilterSetRefusal{FilterSetRefusal::Row, static_cast<int>(r), failure};
    }
    min = minValue;
    max = maxValue;
    return std::nullopt;
}

QRadioButton* CCanMsgFilterSetDlg::addRadio(QButtonGroup* group, const char* text, int value,
                                            const char* name) {
    auto* radio = new QRadioButton(QString::fromUtf8(text), this);
    radio->setObjectName(QString::fromLatin1(name));
    group->addButton(radio, value);
    return radio;
}

CCanMsgFilterSetDlg::CCanMsgFilterSetDlg(const CCanMsgFilter& filter, bool readOnly, QWidget* parent)
    : QDialog(parent), m_readOnly(readOnly) {
    CCanMsgFilter::Assign(m_filter, filter);
    setWindowTitle(QStringLiteral("过滤器设置"));

    m_enable = new QCheckBox(QStringLiteral("过滤器设置有效"), this);
    m_enable->setObjectName("chkEnable");

    // Each group is exclusive: checking one radio unchecks the others of its group.
    m_block = new QButtonGroup(this);
    m_chan = new QButtonGroup(this);
    m_frmType = new QButtonGroup(this);
    m_idType = new QButtonGroup(this);
    m_idValType = new QButtonGroup(this);

    auto group = [this](const char* title, std::initializer_list<QWidget*> radios) {
        auto* box = new QGroupBox(QString::fromUtf8(title), this);
        auto* lay = new QVBoxLayout(box);
        for (QWidget* w : radios) lay->addWidget(w);
        return box;
    };
    QGroupBox* modeBox = group("过滤模式", {addRadio(m_block, "拦截模式", 1, "radBlock"),
                                            addRadio(m_block, "放行模式", 0, "radPass")});
    QGroupBox* chanBox = group(
        "CAN通道", {addRadio(m_chan, "通道 0", 0, "radChan0"), addRadio(m_chan, "通道 1", 1, "radChan1"),
                    addRadio(m_chan, "忽略通道号", 255, "radChanAny")});
    QGroupBox* frmBox = group(
        "帧类型", {addRadio(m_frmType, "数据帧", 0, "radData"), addRadio(m_frmType, "远程帧", 1, "radRemote"),
                   addRadio(m_frmType, "忽略帧类型", 2, "radFrmAny")});
    QGroupBox* idTypeBox =
        group("ID类型", {addRadio(m_idType, "扩展ID", 1, "radExt"), addRadio(m_idType, "标准ID", 0, "radStd"),
                         addRadio(m_idType, "忽略ID类型", 2, "radIdTypeAny")});

    m_range = addRadio(m_idValType, "连续ID值", 0, "radRange");
    m_listed = addRadio(m_idValType, "离散ID值", 1, "radList");
    m_anyId = addRadio(m_idValType, "忽略ID值", 2, "radIdAny");
    m_min = new QLineEdit(this);
    m_max = new QLineEdit(this);
    m_min->setObjectName("editMin");
    m_max->setObjectName("editMax");
    m_list = new QTableWidget(0, 2, this);
    m_list->setObjectName("list");
    m_list->setHorizontalHeaderLabels({QStringLiteral("ID[HEX]"), QStringLiteral("描述")});
    m_list->setColumnWidth(0, 120);
    m_list->setColumnWidth(1, 200);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setMinimumWidth(120 + 200 + 2 * m_list->frameWidth() + 4);
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->viewport()->installEventFilter(this);
    m_add = new QPushButton(QStringLiteral("添加"), this);
    m_edit = new QPushButton(QStringLiteral("编辑"), this);
    m_remove = new QPushButton(QStringLiteral("移除"), this);
    m_add->setObjectName("btnAdd");
    m_edit->setObjectName("btnEdit");
    m_remove->setObjectName("btnRemove");

    auto* idBox = new QGroupBox(QStringLiteral("ID 值 [HEX]"), this);
    auto* idLay = new QGridLayout(idBox);
    idLay->addWidget(m_range, 0, 0);
    idLay->addWidget(new QLabel(QStringLiteral("起始ID值："), this), 0, 1);
    idLay->addWidget(m_min, 0, 2);
    idLay->addWidget(new QLabel(QStringLiteral("终止ID值："), this), 1, 1);
    idLay->addWidget(m_max, 1, 2);
    idLay->addWidget(m_listed, 2, 0);
    idLay->addWidget(m_list, 3, 0, 1, 3);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(m_add);
    listButtons->addWidget(m_edit);
    listButtons->addWidget(m_remove);
    listButtons->addStretch();
    idLay->addLayout(listButtons, 3, 3);
    idLay->addWidget(m_anyId, 4, 0);

    m_ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    m_ok->setObjectName("btnOk");
    cancel->setObjectName("btnCancel");
    m_ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* left = new QVBoxLayout;
    left->addWidget(modeBox);
    left->addWidget(chanBox);
    left->addWidget(frmBox);
    left->addWidget(idTypeBox);
    left->addStretch();
    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addWidget(idBox, 1);
    auto* top = new QVBoxLayout(this);
    top->addWidget(m_enable);
    top->addLayout(body);
    top->addLayout(buttons);

    connect(m_enable, &QCheckBox::clicked, this, &CCanMsgFilterSetDlg::applyEnableRule);
    connect(m_anyId, &QRadioButton::clicked, this, [this] {
        for (QWidget* w : std::initializer_list<QWidget*>{m_min, m_max, m_add, m_edit, m_remove})
            w->setEnabled(false);
    });
    connect(m_range, &QRadioButton::clicked, this, [this] { setRangeEditable(true); });
    connect(m_listed, &QRadioButton::clicked, this, [this] { setRangeEditable(false); });
    connect(m_add, &QPushButton::clicked, this, &CCanMsgFilterSetDlg::onAdd);
    connect(m_edit, &QPushButton::clicked, this, &CCanMsgFilterSetDlg::onEdit);
    connect(m_remove, &QPushButton::clicked, this, &CCanMsgFilterSetDlg::onRemove);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Show the working copy.
    m_enable->setChecked(m_filter.Enable != 0);
    check(m_block, m_filter.Block != 0 ? 1 : 0);
    check(m_chan, m_filter.Chan == 0 || m_filter.Chan == 1 ? m_filter.Chan : 255);
    check(m_frmType, m_filter.MsgFrmType <= 1 ? m_filter.MsgFrmType : 2);
    check(m_idType, m_filter.MsgIDType <= 1 ? m_filter.MsgIDType : 2);
    check(m_idValType, m_filter.MsgIdValType <= 1 ? m_filter.MsgIdValType : 2);
    m_min->setText(hexText(m_filter.FltMsgIdMin));
    m_max->setText(hexText(m_filter.FltMsgIdMax));
    for (const auto& [id, msg] : m_filter.MsgMap) appendRow(id, QString::fromStdString(msg.Descr));
    applyEnableRule();

    if (m_readOnly) {
        // Everything that could change the filter is disabled; only Cancel closes the dialog.
        m_enable->setEnabled(false);
        m_ok->setEnabled(false);
        for (QButtonGroup* g : {m_block, m_chan, m_frmType, m_idType, m_idValType})
            for (QAbstractButton* b : g->buttons()) b->setEnabled(false);
        for (QWidget* w : std::initializer_list<QWidget*>{m_min, m_max, m_add, m_edit, m_remove})
            w->setEnabled(false);
    }
}

void CCanMsgFilterSetDlg::setRangeEditable(bool editable) {
    m_min->setEnabled(editable);
    m_max->setEnabled(editable);
    for (QPushButton* b : {m_add, m_edit, m_remove}) b->setEnabled(!editable);
}

// Without Enable, the mode, channel, frame type, identifier type, range and list radios and the range
// and list controls are off; "忽略ID值" and the list itself stay as they are.
void CCanMsgFilterSetDlg::applyEnableRule() {
    const bool on = m_enable->isChecked();
    for (QButtonGroup* g : {m_block, m_chan, m_frmType, m_idType})
        for (QAbstractButton* b : g->buttons()) b->setEnabled(on);
    m_range->setEnabled(on);
    m_listed->setEnabled(on);
    if (!on) {
        m_min->setEnabled(false);
        m_max->setEnabled(false);
        for (QPushButton* b : {m_add, m_edit, m_remove}) b->setEnabled(false);
        return;
    }
    setRangeEditable(m_range->isChecked());
}

int CCanMsgFilterSetDlg::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

// A click or double click in the list selects the row under the pointer, or nothing off the rows.
bool CCanMsgFilterSetDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const auto* me = static_cast<QMouseEvent*>(event);
        const int row = m_list->rowAt(me->position().toPoint().y());
        if (row < 0) {
            m_list->clearSelection();
            return true;
        }
        m_list->selectRow(row);
    }
    return QDialog::eventFilter(watched, event);
}

std::vector<uint32_t> CCanMsgFilterSetDlg::listedIds() const {
    std::vector<uint32_t> ids;
    ids.reserve(static_cast<size_t>(m_list->rowCount()));
    for (int r = 0; r < m_list->rowCount(); ++r)
        ids.push_back(m_list->item(r, 0)->data(Qt::UserRole).toUInt());
    return ids;
}

void CCanMsgFilterSetDlg::setRow(int row, uint32_t id, const QString& descr) {
    auto* idItem = new QTableWidgetItem(hexText(id));
    idItem->setData(Qt::UserRole, id);
    m_list->setItem(row, 0, idItem);
    m_list->setItem(row, 1, new QTableWidgetItem(descr));
}

void CCanMsgFilterSetDlg::appendRow(uint32_t id, const QString& descr) {
    const int row = m_list->rowCount();
    m_list->insertRow(row);
    setRow(row, id, descr);
}

bool CCanMsgFilterSetDlg::stdOnly() const {
    return m_idType->checkedId() == 0;
}

void CCanMsgFilterSetDlg::onAdd() {
    CCanMsgFilterSetMsgDlg dlg(kFilterMsgAdd, listedIds(), stdOnly(), QString(), QString(), this);
    if (dlg.exec() == QDialog::Accepted) appendRow(dlg.msgId(), dlg.descr());
}

void CCanMsgFilterSetDlg::onEdit() {
    const int row = selectedRow();
    if (row < 0) {
        vex::ShowMessage(this, kNoSelection);
        return;
    }
    CCanMsgFilterSetMsgDlg dlg(kFilterMsgEdit, listedIds(), stdOnly(), m_list->item(row, 0)->text(),
                               m_list->item(row, 1)->text(), this);
    if (dlg.exec() == QDialog::Accepted) setRow(row, dlg.msgId(), dlg.descr());
}

void CCanMsgFilterSetDlg::onRemove() {
    const int row = selectedRow();
    if (row < 0) {
        vex::ShowMessage(this, kNoSelection);
        return;
    }
    m_list->removeRow(row);
    m_list->clearSelection();
}

void CCanMsgFilterSetDlg::accept() {
    if (m_readOnly) return;
    // Nothing is stored until every identifier the filter keeps has been read.
    const FilterSetDlgInput input{m_enable->isChecked(), stdOnly(),     checkedValue(m_idValType, 2),
                                  m_min->text(),         m_max->text(), listedIds()};
    uint32_t min = 0;
    uint32_t max = 0;
    if (const std::optional<FilterSetRefusal> refusal = validateFilterSetDlg(input, min, max)) {
        vex::ShowMessage(this, refusal->message);
        if (refusal->field == FilterSetRefusal::Row) {
            m_list->selectRow(refusal->row);
            m_list->setFocus();
        } else {
            QLineEdit* edit = refusal->field == FilterSetRefusal::Min ? m_min : m_max;
            edit->setFocus();
            edit->selectAll();
        }
        return;
    }
    m_filter.Enable = m_enable->isChecked() ? 1 : 0;
    m_filter.Block = checkedValue(m_block, 0);
    m_filter.Chan = checkedValue(m_chan, 255);
    m_filter.MsgFrmType = checkedValue(m_frmType, 2);
    m_filter.MsgIDType = checkedValue(m_idType, 2);
    m_filter.MsgIdValType = checkedValue(m_idValType, 2);
    m_filter.FltMsgIdMin = min;
    m_filter.FltMsgIdMax = max;
    m_filter.MsgMap.clear();
    for (int r = 0; r < m_list->rowCount(); ++r) {
        const uint32_t id = m_list->item(r, 0)->data(Qt::UserRole).toUInt();
        m_filter.MsgMap.insert_or_assign(id, tFILTER_CAN_MSG{m_list->item(r, 1)->text().toStdString(), id});
    }
    QDialog::accept();
}
