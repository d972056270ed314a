#include "ui/candb/candbatbdlg.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/prompt.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dlgbuttons.h"

CCanDbAtbDlg::CCanDbAtbDlg(candbui::tDB_ATTRIBUTES attributes, const std::vector<tCFG_CAN_DATABASE>* list,
                           QWidget* parent)
    : QDialog(parent), Attributes(std::move(attributes)), m_origName(Attributes.Name), m_list(list) {
    setWindowTitle(QStringLiteral("数据库属性"));
    m_name = new QLineEdit(QString::fromStdString(Attributes.Name), this);
    m_fileVer = new QLineEdit(QString::fromStdString(Attributes.FileVer), this);
    m_author = new QLineEdit(QString::fromStdString(Attributes.Author), this);
    m_proDes = new QPlainTextEdit(QString::fromStdString(Attributes.ProDes), this);
    m_name->setObjectName("editName");
    m_fileVer->setObjectName("editFileVer");
    m_author->setObjectName("editAuthor");
    m_proDes->setObjectName("editProDes");
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("名称："), m_name);
    form->addRow(QStringLiteral("版本："), m_fileVer);
    form->addRow(QStringLiteral("作者："), m_author);
    form->addRow(QStringLiteral("应用描述："), m_proDes);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    ok->setObjectName("btnOk");
    cancel->setObjectName("btnCancel");
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(candbui::OkCancelRow(this, ok, cancel));
    resize(420, 300);
}

void CCanDbAtbDlg::accept() {
    const std::string name = m_name->text().toStdString();
    if (const auto fail = candbui::validateDbAttributes(name, m_origName, m_list)) {
        vex::ShowMessage(this, QString::fromStdString(*fail));
        return;
    }
    Attributes.Name = name;
    Attributes.FileVer = m_fileVer->text().toStdString();
    Attributes.Author = m_author->text().toStdString();
    Attributes.ProDes = m_proDes->toPlainText().toStdString();
    QDialog::accept();
}
