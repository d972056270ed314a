#include "ui/logging/canmsgdatalogsetdlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "logging/canmsgdatalog.h"
#include "platform/qt/prompt.h"

std::optional<std::string> validateLogSet(std::string_view prefix) {
    if (prefix.empty()) return std::string("记录文件名起始标识不能为空。");
    // The prefix begins a file name inside the log folder: it may not lead elsewhere.
    if (!IsValidLogPrefix(prefix)) return std::string("记录文件名起始标识不能包含“/”、“\\”或控制字符。");
    return std::nullopt;
}

CCanMsgDataLogSetDlg::CCanMsgDataLogSetDlg(const tCFG_SET_LOG& settings, bool readOnly, QWidget* parent)
    : QDialog(parent), m_readOnly(readOnly) {
    CCanMsgFilter::Assign(m_filter, settings.Filter);
    setWindowTitle(QStringLiteral("记录设置"));

    m_prefix = new QLineEdit(QString::fromStdString(settings.LogFileNameId), this);
    m_prefix->setObjectName("editPrefix");
    m_prefix->setReadOnly(readOnly);
    m_prefix->setMinimumWidth(220);
    m_autoLog = new QCheckBox(QStringLiteral("开启监听时自动开始记录"), this);
    m_autoLog->setObjectName("chkAutoLog");
    m_autoLog->setChecked(settings.AutoLogFlag != 0);
    m_autoLog->setEnabled(!readOnly);
    m_filterButton = new QPushButton(QStringLiteral("设置"), this);
    m_filterButton->setObjectName("btnFilter");
    m_filterButton->setAutoDefault(false);
    m_filterButton->setEnabled(false);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("记录文件名起始标识："), this), 0, 0);
    grid->addWidget(m_prefix, 0, 1, 1, 2);
    grid->addWidget(m_autoLog, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("记录过滤器："), this), 2, 0);
    grid->addWidget(m_filterButton, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);

    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setObjectName("btnOk");
    m_ok->setEnabled(!readOnly);
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(8);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_filterButton, &QPushButton::clicked, this, &CCanMsgDataLogSetDlg::editFilter);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CCanMsgDataLogSetDlg::SetFilterEditor(FilterEditor editor) {
    m_editor = std::move(editor);
    m_filterButton->setEnabled(static_cast<bool>(m_editor));
}

std::string CCanMsgDataLogSetDlg::prefix() const {
    return m_prefix->text().toStdString();
}

uint8_t CCanMsgDataLogSetDlg::autoLogFlag() const {
    return m_autoLog->isChecked() ? 1 : 0;
}

void CCanMsgDataLogSetDlg::Store(tCFG_SET_LOG& settings) const {
    settings.LogFileNameId = prefix();
    settings.AutoLogFlag = autoLogFlag();
    CCanMsgFilter::Assign(settings.Filter, m_filter);
}

void CCanMsgDataLogSetDlg::editFilter() {
    if (!m_editor) return;
    CCanMsgFilter copy;
    CCanMsgFilter::Assign(copy, m_filter);
    if (m_editor(copy, m_readOnly, this) && !m_readOnly) CCanMsgFilter::Assign(m_filter, copy);
}

void CCanMsgDataLogSetDlg::accept() {
    // Enter in the read-only dialog does not close it as confirmed: only Cancel does.
    if (m_readOnly) return;
    if (const auto message = validateLogSet(prefix())) {
        vex::ShowMessage(this, QString::fromStdString(*message), vex::MsgButtons::Ok, vex::MsgIcon::Warning);
        m_prefix->setFocus();
        return;
    }
    QDialog::accept();
}

bool EditLogSettings(tCFG_SET_LOG& settings, bool readOnly, CCanMsgDataLogSetDlg::FilterEditor editor,
                     QWidget* parent) {
    CCanMsgDataLogSetDlg dlg(settings, readOnly, parent);
    dlg.SetFilterEditor(std::move(editor));
    if (dlg.exec() != QDialog::Accepted) return false;
    dlg.Store(settings);
    return true;
}
