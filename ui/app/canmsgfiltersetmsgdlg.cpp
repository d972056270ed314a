#include "ui/app/canmsgfiltersetmsgdlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/filter/canmsgfiltercheck.h"
#include "platform/qt/prompt.h"

CCanMsgFilterSetMsgDlg::CCanMsgFilterSetMsgDlg(uint8_t editKind, std::vector<uint32_t> existing,
                                               const QString& idText, const QString& descr, QWidget* parent)
    : QDialog(parent),
      m_editKind(editKind),
      m_existing(std::move(existing)),
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
    return FilterMsgIdFromText(m_id->text().toStdString());
}

void CCanMsgFilterSetMsgDlg::accept() {
    if (const auto failure =
            validateFilterMsg(m_editKind, m_id->text().toStdString(), m_startId, m_existing)) {
        vex::ShowMessage(this, QString::fromStdString(*failure));
        return;
    }
    QDialog::accept();
}
