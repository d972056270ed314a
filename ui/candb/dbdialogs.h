#pragma once
// How the database editor's windows open one another. Every window reaches its sub-dialogs through the
// current CCanDbDialogs, whose default runs the real modal dialogs; a test installs one that answers some
// of them by script (ScopedDbDialogs) and leaves the others to the real dialogs. Each call gets copies
// from its caller and changes the in/out record only when the dialog ends with OK. GUI thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "candb/canmodel.h"
#include "candb/cfgcandb.h"

class QWidget;

namespace candbui {

// What the attributes dialog edits.
struct tDB_ATTRIBUTES {
    std::string Name;
    std::string FileVer;
    std::string Author;
    std::string ProDes;
};

class CCanDbDialogs {
public:
    virtual ~CCanDbDialogs() = default;

    // The editor window on a copy of the entry's database; on OK the entry takes the edited database,
    // name and first-add flag. `list` is the configuration's list, for the name check.
    virtual bool EditDatabase(QWidget* parent, const std::vector<tCFG_CAN_DATABASE>* list,
                              tCFG_CAN_DATABASE& entry);
    virtual bool EditDbAttributes(QWidget* parent, const std::vector<tCFG_CAN_DATABASE>* list,
                                  tDB_ATTRIBUTES& attributes);
    // mode kMsgNew or kMsgEdit; `preselSignal` the signal to open for editing at start (may be empty).
    virtual bool EditMsg(QWidget* parent, const tCAN_DATABASE* db, uint8_t mode,
                         const std::string& preselSignal, CCanMsg& msg);
    // `msg`: the message the signal belongs to (its other signals' names must not clash).
    virtual bool EditSignal(QWidget* parent, const tCAN_DATABASE* db, const CCanMsg& msg, CCanSignal& signal);
    virtual bool EditEnum(QWidget* parent, const tCAN_DATABASE* db, tCAN_SIGNAL_ENUM& table);
    // mode kEnumItemNew (text and value are proposed by the dialog) or kEnumItemEdit.
    virtual bool EditEnumItem(QWidget* parent, uint8_t mode, const tCAN_SIGNAL_ENUM& table, std::string& text,
                              int32_t& value);
    virtual bool PickFreeSignal(QWidget* parent, const tCAN_DATABASE* db, const CCanMsg& msg,
                                CCanSignal& signal);
    virtual bool PickPublicEnum(QWidget* parent, const tCAN_DATABASE* db, tCAN_SIGNAL_ENUM& table);
};

CCanDbDialogs& CurrentDbDialogs();
// nullptr puts the real dialogs back.
void SetCurrentDbDialogs(CCanDbDialogs* dialogs);

class ScopedDbDialogs {
public:
    explicit ScopedDbDialogs(CCanDbDialogs& dialogs);
    ~ScopedDbDialogs();
    ScopedDbDialogs(const ScopedDbDialogs&) = delete;
    ScopedDbDialogs& operator=(const ScopedDbDialogs&) = delete;

private:
    CCanDbDialogs* m_previous;
};

}  // namespace candbui
