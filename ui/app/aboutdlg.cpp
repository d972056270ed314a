#include "ui/app/aboutdlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/app/frameicons.h"
#include "platform/util/utils.h"

CAboutDlg::CAboutDlg(std::function<void(QWidget*)> check, QWidget* parent)
    : QDialog(parent),
      m_ok(new QPushButton(QStringLiteral("确定"), this)),
      m_check(new QPushButton(QStringLiteral("检测是否需要更新"), this)) {
    setWindowTitle(QStringLiteral("关于 Vexarium"));
    m_ok->setObjectName(QStringLiteral("btnOk"));
    m_check->setObjectName(QStringLiteral("btnCheckUpdate"));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    auto* name =
        new QLabel(QStringLiteral("Vexarium %1").arg(QString::fromStdString(GetProductVersion())), this);
    auto* invite = new QLabel(QStringLiteral("欢迎访问我们的网站获取最新版本："), this);
    auto* web = new QLineEdit(QString::fromUtf8(kWebAddress), this);
    web->setObjectName(QStringLiteral("editWeb"));
    web->setReadOnly(true);

    auto* grid = new QGridLayout;
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(invite, 1, 1);
    grid->addWidget(web, 2, 1);
    grid->setColumnMinimumWidth(1, 300);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_check);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    m_ok->setDefault(true);
    m_check->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_check, &QPushButton::clicked, this, [this, check = std::move(check)] {
        if (check) check(this);
    });
}
