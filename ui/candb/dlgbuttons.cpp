#include "ui/candb/dlgbuttons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace candbui {

QPushButton* DlgButton(QWidget* parent, const char* text, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout* OkCancelRow(QDialog* dlg, QPushButton* ok, QPushButton* cancel) {
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dlg, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dlg, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QHBoxLayout* PaneWithButtons(QWidget* pane, std::initializer_list<QPushButton*> buttons) {
    auto* side = new QVBoxLayout;
    for (QPushButton* b : buttons) side->addWidget(b);
    side->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(pane, 1);
    row->addLayout(side);
    return row;
}

}  // namespace candbui
