#include "windows/dlgbuttons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace vex {

OkCancelButtons LayOutOkCancel(QDialog& dialog, QLayout* body) {
    OkCancelButtons buttons;
    buttons.ok = new QPushButton(QStringLiteral("确定"), &dialog);
    buttons.cancel = new QPushButton(QStringLiteral("取消"), &dialog);
    buttons.ok->setObjectName(QStringLiteral("ok"));
    buttons.cancel->setObjectName(QStringLiteral("cancel"));
    buttons.ok->setDefault(true);
    buttons.cancel->setAutoDefault(false);
    QObject::connect(buttons.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(buttons.ok);
    row->addWidget(buttons.cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(body);
    layout->addLayout(row);
    return buttons;
}

}  // namespace vex
