#pragma once
// "数据库属性": a database's name and three descriptive texts. OK checks the name (validateDbAttributes)
// and stays open with the message when it fails; `Attributes` holds the texts after OK.
#include <QDialog>

#include <vector>

#include "ui/candb/dbdialogs.h"

class QLineEdit;
class QPlainTextEdit;

class CCanDbAtbDlg : public QDialog {
    Q_OBJECT
public:
    // `list`: the configuration's databases, for the name clash (none: no clash check).
    CCanDbAtbDlg(candbui::tDB_ATTRIBUTES attributes, const std::vector<tCFG_CAN_DATABASE>* list,
                 QWidget* parent = nullptr);

    candbui::tDB_ATTRIBUTES Attributes;

    void accept() override;

private:
    std::string m_origName;
    const std::vector<tCFG_CAN_DATABASE>* m_list;
    QLineEdit* m_name;
    QLineEdit* m_fileVer;
    QLineEdit* m_author;
    QPlainTextEdit* m_proDes;
};
