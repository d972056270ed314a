#include "ui/candb/dbdialogs.h"

#include "ui/candb/candbatbdlg.h"
#include "ui/candb/dbeditdlg.h"
#include "ui/candb/enumdlgs.h"
#include "ui/candb/msgeditdlg.h"
#include "ui/candb/pickdlgs.h"
#include "ui/candb/signaleditdlg.h"

namespace candbui {

namespace {

CCanDbDialogs g_realDialogs;
CCanDbDialogs* g_current = nullptr;

}  // namespace

bool CCanDbDialogs::EditDatabase(QWidget* parent, const std::vector<tCFG_CAN_DATABASE>* list,
                                 tCFG_CAN_DATABASE& entry) {
    CCanDbEditDlg dlg(list, parent);
    dlg.WorkDb = entry.Database;
    dlg.DbName = entry.Name;
    dlg.FirstAddFlag = entry.FirstAddFlag;
    if (dlg.exec() != QDialog::Accepted) return false;
    entry.Database = std::move(dlg.WorkDb);
    entry.Name = dlg.DbName;
    entry.FirstAddFlag = dlg.FirstAddFlag;
    return true;
}

bool CCanDbDialogs::EditDbAttributes(QWidget* parent, const std::vector<tCFG_CAN_DATABASE>* list,
                                     tDB_ATTRIBUTES& attributes) {
    CCanDbAtbDlg dlg(attributes, list, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    attributes = dlg.Attributes;
    return true;
}

bool CCanDbDialogs::EditMsg(QWidget* parent, const tCAN_DATABASE* db, uint8_t mode,
                            const std::string& preselSignal, CCanMsg& msg) {
    CCanMsgEditDlg dlg(db, mode, msg, preselSignal, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    msg = std::move(dlg.Msg);
    return true;
}

bool CCanDbDialogs::EditSignal(QWidget* parent, const tCAN_DATABASE* db, const CCanMsg& msg,
                               CCanSignal& signal) {
    CCanSignalEditDlg dlg(db, msg, signal, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    signal = std::move(dlg.Signal);
    return true;
}

bool CCanDbDialogs::EditEnum(QWidget* parent, const tCAN_DATABASE* db, tCAN_SIGNAL_ENUM& table) {
    CCanSignalEnumEditDlg dlg(db, table, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    table = std::move(dlg.Enum);
    return true;
}

bool CCanDbDialogs::EditEnumItem(QWidget* parent, uint8_t mode, const tCAN_SIGNAL_ENUM& table,
                                 std::string& text, int32_t& value) {
    CCanSignalEnumItemEditDlg dlg(mode, table, text, value, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    text = dlg.ItemText;
    value = dlg.ItemVal;
    return true;
}

bool CCanDbDialogs::PickFreeSignal(QWidget* parent, const tCAN_DATABASE* db, const CCanMsg& msg,
                                   CCanSignal& signal) {
    CCanSignalFreeSelDlg dlg(db, msg, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    signal = std::move(dlg.Signal);
    return true;
}

bool CCanDbDialogs::PickPublicEnum(QWidget* parent, const tCAN_DATABASE* db, tCAN_SIGNAL_ENUM& table) {
    CCanSignalPublicEnumSelDlg dlg(db, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    table = std::move(dlg.Enum);
    return true;
}

CCanDbDialogs& CurrentDbDialogs() {
    return g_current != nullptr ? *g_current : g_realDialogs;
}

void SetCurrentDbDialogs(CCanDbDialogs* dialogs) {
    g_current = dialogs;
}

ScopedDbDialogs::ScopedDbDialogs(CCanDbDialogs& dialogs) : m_previous(g_current) {
    g_current = &dialogs;
}

ScopedDbDialogs::~ScopedDbDialogs() {
    g_current = m_previous;
}

}  // namespace candbui
