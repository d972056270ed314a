#include "ui/app/canmsgfiltersetmsgdlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/filter/canmsgfiltercheck.h"
#include "platform/qt/prompt.h"
#include "windows/txmsgdlg.h"

QString validateFilterMsgDlg(uint8_t editKind, const QString& idText, bool stdOnly, int32_t startId,
                             const std::vector<uint32_t>& existing, uint32_t& id) {
    if (idText.trimmed().isEmpty()) return QStringLiteral("ID值不能为空");
    // Read by its leading digits, "7ffzz" would list 0x7FF and nine digits 0xFFFFFFFF; an identifier
    // beyond the type would be a row no frame ever matches.
    uint32_t value = 0;
    QString failure = validateTxMsgIdText(idText, value);
    if (failure.isEmpty()) failure = validateTxMsgIdRange(value, !stdOnly);
    if (!failure.isEmpty()) return failure;
    if (const auto refusal = validateFilterMsg(editKind, value, startId, existing))
        return QString::fromStdString(*refusal);
    id = value;
    return {};
}

CCanMsgFilterSetMsgDlg::CCanMsgFilterSetMsgDlg(uint8_t editKind, std::vector<uint32_t> existing, bool stdOnly,
                                               const QString& idText, const QString& descr, QWidget* parent)
    : QDialog(parent),
      m_editKind(editKind),
      m_existing(std::move(existing)),
      m_stdOnly(stdOnly),
      m_startId(static_cast<int32_t>(FilterMsgIdFromText(idText.toStdString()))),
      m_id(new QLineEdit(idText, this)),
      m_descr(new QLineEdit(descr, this)) {
    setWindowTitle(QStringLiteral("过滤CAN报文编辑"));
    m_id->setObjectName("editId");
    m_descr->setObjectName("editDescr");
    m_descr->setMinimumWidth(220);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("ID值[HEX]："), this), 0, 0);
    fields->addWidget(m_id, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("描述："), this), 1, 0);
    fields->addWidget(m_descr, 1, 1);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    ok->setObjectName("btnOk");
    cancel->setObjectName("btnCancel");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(fields);
    top->addLayout(buttons);
}

QString CCanMsgFilterSetMsgDlg::idText() const {
    return m_id->text();
}
QString CCanMsgFilterSetMsgDlg::descr() const {
    return m_descr->text();
}
uint32_t CCanMsgFilterSetMsgDlg::msgId() const {
    return m_msgId;
}

void CCanMsgFilterSetMsgDlg::accept() {
    const QString failure =
        validateFilterMsgDlg(m_editKind, m_id->text(), m_stdOnly, m_startId, m_existing, m_msgId);
    if (!failure.isEmpty()) {
        vex::ShowMessage(this, failure);
        return;
    }
    QDialog::accept();
}
