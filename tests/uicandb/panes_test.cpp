// The editor window, its tree and list panes, and the database list on working copies, with the
// sub-dialogs answered by script: create, copy, paste ("_copy" names), delete, edit, sort; the edited copy
// handed back only on save; the list written into the configuration file with the rest of it untouched.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QMenu>

#include <fstream>

#include "app/canworkspace.h"
#include "candb/dbcfile.h"
#include "platform/qt/namedmutex.h"
#include "tests/app/workspacetest.h"
#include "tests/common/fakeprompt.h"
#include "tests/uicandb/dbrecords.h"
#include "tests/uicandb/dlgtest.h"
#include "ui/app/mainframe.h"
#include "ui/candb/candbcfgdlg.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dbeditdlg.h"
#include "ui/candb/dbeditlist.h"
#include "ui/candb/dbedittree.h"
#include "ui/candb/dbtreemodel.h"
#include "ui/candb/nodekeys.h"
#include "ui/candb/textrows.h"

using namespace dlgtest;
using namespace candbui;

namespace {

tCAN_DATABASE SampleDb() {
    tCAN_DATABASE db;
    db.FileVer = "1.0";
    db.Messages = {Msg("b", 0x18FEF100, 1, {Sig("Rpm", 0, 16)}),
                   Msg("A", 0x12, 0, {Sig("Speed", 0, 8), Sig("Gear", 8, 4)})};
    CCanSignal lamp = Sig("Lamp", 0, 2);
    lamp.Enum = 1;
    lamp.SigEnum = {"LampTable", {{"off", 0}, {"on", 1}}};
    db.FreeSigMsg.Signals = {lamp};
    db.Enums = {{"Gear", {{"P", 0}, {"D", 1}}}};
    return db;
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dlg.WorkDb = SampleDb();
        dlg.DbName = "Car";
        dlg.CreatePanes();
        treeTester.emplace(tree().treeModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        listTester.emplace(list().rowsModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    CCanDbEditTreeView& tree() { return *dlg.treePane(); }
    CCanDbEditListView& list() { return *dlg.listPane(); }
    CDbTreeModel& model() { return *tree().treeModel(); }
    QModelIndex Node(std::initializer_list<int> path) {
        QModelIndex i;
        for (int r : path) i = model().index(r, 0, i);
        return i;
    }
    QString Text(std::initializer_list<int> path) { return model().Text(Node(path)); }
    void Context(std::initializer_list<int> path) {
        tree().OnRClick(Node(path), {});
        if (tree().ShownMenu()) tree().ShownMenu()->hide();
    }
    void ClickNode(std::initializer_list<int> path) { tree().OnClick(Node(path)); }
    QStringList Column(int column = 0) {
        QStringList out;
        for (int r = 0; r < list().rowsModel()->rowCount(); ++r) out << list().rowsModel()->Cell(r, column);
        return out;
    }

    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    FakeDbDialogs fake;
    ScopedDbDialogs useFake{fake};
    CCanDbEditDlg dlg;
    std::optional<QAbstractItemModelTester> treeTester;
    std::optional<QAbstractItemModelTester> listTester;
};

}  // namespace

TEST_F(EditorTest, TreeShowsTheDatabase) {
    EXPECT_EQ(Text({0}), "Car");
    EXPECT_EQ(model().Key(Node({0})), kKeyRoot);
    // Messages sorted by label, letter case ignored.
    EXPECT_EQ(Text({0, 0}), "Messages");
    EXPECT_EQ(Text({0, 0, 0}), "A [ 0x012 ]");
    EXPECT_EQ(Text({0, 0, 1}), "b [ 0x18FEF100 ]");
    EXPECT_EQ(model().Key(Node({0, 0, 0})), 0xC0000012u);
    EXPECT_EQ(model().Key(Node({0, 0, 1})), 0xF8FEF100u);
    EXPECT_EQ(model().Key(Node({0, 0, 0, 1})), 0x80000012u);
    EXPECT_EQ(model().Key(Node({0, 0, 1, 0})), 0xB8FEF100u);
    EXPECT_EQ(Text({0, 1, 0, 0}), "LampTable");
    EXPECT_EQ(Text({0, 1, 0, 0, 1}), "on [1]");
    EXPECT_EQ(model().Key(Node({0, 1, 0, 0, 1})), kKeyFreeSigEnumItem);
    EXPECT_EQ(Text({0, 2, 0, 1}), "D [1]");
    EXPECT_TRUE(tree().isExpanded(Node({0})));
    EXPECT_FALSE(tree().isExpanded(Node({0, 0})));

    CCanDbEditDlg empty;
    empty.CreatePanes();
    EXPECT_EQ(empty.treePane()->treeModel()->rowCount(empty.treePane()->treeModel()->index(0, 0)), 3);
}

TEST_F(EditorTest, ListShowsTheClickedNode) {
    ClickNode({0, 0});
    EXPECT_EQ(list().ColumnSet(), 1);
    EXPECT_EQ(Column(), (QStringList{"b", "A"}));
    EXPECT_EQ(list().rowsModel()->At(1).cells, (QStringList{"A", "012", "std", "dat", "8"}));
    ClickNode({0});  // the root keeps the rows
    EXPECT_EQ(list().ColumnSet(), 1);
    EXPECT_EQ(list().rowsModel()->rowCount(), 2);
    ClickNode({0, 0, 0});
    EXPECT_EQ(list().ColumnSet(), 2);
    EXPECT_EQ(Column(), (QStringList{"Speed", "Gear"}));
    EXPECT_EQ(list().rowsModel()->At(1).cells,
              (QStringList{"Gear", "UINT4", "INTEL", "8", "(1,0)", "[0,0]", ""}));
    EXPECT_EQ(list().rowsModel()->At(1).key, 0x80000012u);
    ClickNode({0, 0, 0, 1});
    EXPECT_EQ(list().ColumnSet(), 3);
    EXPECT_EQ(Column(), (QStringList{"Gear"}));
    ClickNode({0, 1});
    EXPECT_EQ(list().ColumnSet(), 4);
    EXPECT_EQ(list().rowsModel()->At(0).key, kKeyFreeSig);
    ClickNode({0, 1, 0, 0, 0});  // a value-table entry keeps the rows
    EXPECT_EQ(list().ColumnSet(), 4);
    ClickNode({0, 2});
    EXPECT_EQ(list().ColumnSet(), 6);
    EXPECT_EQ(Column(), (QStringList{"Gear"}));
    ClickNode({0, 2, 0});
    EXPECT_EQ(list().ColumnSet(), 7);
}

TEST_F(EditorTest, ListContextMenus) {
    struct Case {
        std::initializer_list<int> node;
        int row;
        const char* menu;  // "" for none
    };
    const Case cases[] = {
        {{0, 0}, -1, "LIST_MSG_ITEM_UNSEL"},
        {{0, 0}, 0, "LIST_MSG_ITEM_SEL"},
        {{0, 0, 0}, -1, "LIST_SIGNAL_ITEM_UNSEL"},
        {{0, 0, 0}, 1, "LIST_SIGNAL_ITEM_SEL"},
        {{0, 0, 0, 0}, -1, ""},
        {{0, 0, 0, 0}, 0, "LIST_SIG_EDIT"},
        {{0, 2}, 0, "LIST_ENUM_ITEM_SEL"},
        {{0, 2, 0}, -1, ""},
        {{0, 2, 0}, 0, "LIST_ENUM_EDIT"},
    };
    for (const Case& c : cases) {
        ClickNode(c.node);
        QMenu* before = list().ShownMenu();
        if (before) before->hide();
        list().OnRClick(c.row, {});
        QMenu* shown = list().ShownMenu();
        if (*c.menu == '\0') {
            EXPECT_TRUE(shown == before || shown == nullptr || !shown->isVisible()) << c.row;
        } else {
            ASSERT_NE(shown, nullptr);
            EXPECT_EQ(shown->title(), c.menu);
            shown->hide();
        }
    }
}

TEST_F(EditorTest, TreeMessageCommands) {
    fake.onMsg = [](uint8_t, const std::string&, CCanMsg& m) {
        if (m.Name.empty())
            m = Msg("New", 0x55, 0, {Sig("N1", 0, 8)});
        else
            m.id += 1;  // a pasted copy needs another identifier
        return true;
    };
    ClickNode({0, 0});
    Context({0, 0});
    for (QAction* a : tree().Actions(CCanDbEditTreeView::ID_PASTE_MSG)) EXPECT_FALSE(a->isEnabled());
    tree().OnNewMsg();
    ASSERT_EQ(dlg.WorkDb.Messages.size(), 3u);
    EXPECT_EQ(Text({0, 0, 2}), "New [ 0x055 ]");  // appended, not sorted
    EXPECT_EQ(model().rowCount(Node({0, 0, 2})), 1);
    EXPECT_EQ(list().rowsModel()->rowCount(), 3);  // the list follows

    Context({0, 0, 0});
    tree().OnCopyMsg();
    tree().OnCopyMsg();  // copying again gives the same "_copy" name
    EXPECT_EQ(tree().CopiedMsg.Name, "A_copy");
    for (QAction* a : tree().Actions(CCanDbEditTreeView::ID_PASTE_MSG)) EXPECT_TRUE(a->isEnabled());
    Context({0, 0});
    tree().OnPasteMsg();
    EXPECT_EQ(dlg.WorkDb.Messages.back().Name, "A_copy");
    EXPECT_EQ(dlg.WorkDb.Messages.back().id, 0x13u);
    EXPECT_EQ(fake.log.back(), "msg 0 A_copy");

    // Editing a message whose signal node is current: the node is rebuilt and no longer current.
    ClickNode({0, 0, 0, 1});
    ASSERT_TRUE(tree().CurItem().isValid());
    Context({0, 0, 0});
    tree().OnEditMsg();
    EXPECT_FALSE(tree().CurItem().isValid());
    EXPECT_EQ(Text({0, 0, 0}), "A [ 0x013 ]");
    EXPECT_EQ(model().Key(Node({0, 0, 0, 0})), 0x80000013u);
    tree().UpdateTree(kTreeEdit, 0x80000013u, "Speed", 0x80000013u, "Renamed");  // no current node: nothing
    EXPECT_EQ(Text({0, 0, 0, 0}), "Speed");

    // Deleting the message whose signal is current clears the current node.
    ClickNode({0, 0, 1, 0});
    Context({0, 0, 1});
    tree().OnDeleteMsg();
    EXPECT_FALSE(tree().CurItem().isValid());
    EXPECT_FALSE(tree().CtxItem().isValid());
    EXPECT_EQ(model().rowCount(Node({0, 0})), 3);
    EXPECT_EQ(FindMsgByKey(dlg.WorkDb, 0xF8FEF100u), -1);

    // A cancelled dialog changes nothing.
    fake.onMsg = nullptr;
    const tCAN_DATABASE before = dlg.WorkDb;
    Context({0, 0, 0});
    tree().OnEditMsg();
    EXPECT_EQ(dlg.WorkDb, before);
}

TEST_F(EditorTest, TreeSignalAndTableCommands) {
    fake.onSignal = [](const CCanMsg&, CCanSignal&) { return true; };
    fake.onMsg = [](uint8_t, const std::string&, CCanMsg&) { return true; };
    fake.onEnum = [](tCAN_SIGNAL_ENUM&) { return true; };

    // A free signal copied and pasted on the folder (signal editor) and under a message (message editor).
    Context({0, 1, 0});
    tree().OnCopySignal();
    EXPECT_EQ(tree().CopiedSignal.Name, "Lamp_copy");
    Context({0, 1});
    tree().OnPasteSignal();
    EXPECT_EQ(fake.log.back(), "signal Lamp_copy in ");
    ASSERT_EQ(dlg.WorkDb.FreeSigMsg.Signals.size(), 2u);
    EXPECT_EQ(Text({0, 1, 1}), "Lamp_copy");
    EXPECT_EQ(Text({0, 1, 1, 0}), "LampTable");
    Context({0, 0, 0});
    tree().OnPasteSignal();
    EXPECT_EQ(fake.log.back(), "msg 2 A presel Lamp_copy");
    EXPECT_EQ(dlg.WorkDb.Messages[1].Signals.back().Name, "Lamp_copy");
    EXPECT_EQ(Text({0, 0, 0, 2}), "Lamp_copy");

    // Editing a free signal without a table drops its table nodes; deleting a signal of a message.
    fake.onSignal = [](const CCanMsg&, CCanSignal& s) {
        s.Enum = 0;
        s.Name = "Plain";
        return true;
    };
    Context({0, 1, 0});
    tree().OnEditSignal();
    EXPECT_EQ(Text({0, 1, 0}), "Plain");
    EXPECT_EQ(model().rowCount(Node({0, 1, 0})), 0);
    Context({0, 0, 0, 0});
    tree().OnDeleteSignal();
    EXPECT_EQ(dlg.WorkDb.Messages[1].Signals.front().Name, "Gear");
    EXPECT_EQ(model().rowCount(Node({0, 0, 0})), 2);

    // The same table copy pasted twice gives two tables of that name.
    Context({0, 2, 0});
    tree().OnCopyEnum();
    Context({0, 2});
    tree().OnPasteEnum();
    tree().OnPasteEnum();
    ASSERT_EQ(dlg.WorkDb.Enums.size(), 3u);
    EXPECT_EQ(dlg.WorkDb.Enums[1].Name, "Gear_copy");
    EXPECT_EQ(dlg.WorkDb.Enums[2].Name, "Gear_copy");
    EXPECT_EQ(model().rowCount(Node({0, 2, 2})), 2);
    Context({0, 2, 0});
    tree().OnDeleteEnum();
    EXPECT_EQ(dlg.WorkDb.Enums.size(), 2u);
    EXPECT_EQ(Text({0, 2, 0}), "Gear_copy");

    // A right click on the root or an entry shows no menu; commands on the wrong kind do nothing.
    Context({0});
    const tCAN_DATABASE before = dlg.WorkDb;
    tree().OnDeleteMsg();
    tree().OnDeleteSignal();
    EXPECT_EQ(dlg.WorkDb, before);
}

TEST_F(EditorTest, ListCommandsMirrorInTheTree) {
    fake.onMsg = [](uint8_t mode, const std::string&, CCanMsg& m) {
        if (mode == candbui::kMsgNew)
            m = Msg("N", 0x77, 0);
        else {
            m.id = 0x800;  // identifier and extended flag change
            m.Ext = 1;
        }
        return true;
    };
    ClickNode({0, 0});
    list().OnRClick(-1, {});
    list().ShownMenu()->hide();
    list().OnNewMsg();
    EXPECT_EQ(Text({0, 0, 2}), "N [ 0x077 ]");
    list().OnClick(1);  // "A"
    list().OnEditMsg();
    EXPECT_EQ(list().rowsModel()->At(1).key, 0xE0000800u);
    EXPECT_EQ(list().rowsModel()->Cell(1, 1), "00000800");
    EXPECT_EQ(Text({0, 0, 0}), "A [ 0x00000800 ]");
    EXPECT_EQ(model().Key(Node({0, 0, 0})), 0xE0000800u);
    EXPECT_EQ(model().Key(Node({0, 0, 0, 0})), 0xA0000800u);
    list().OnDeleteMsg();
    EXPECT_EQ(list().SelRow(), -1);
    EXPECT_EQ(model().rowCount(Node({0, 0})), 2);
    list().OnEditMsg();  // no row any more: nothing
    EXPECT_EQ(fake.log.size(), 2u);

    // Signals of one message: the deleted row is the signal of that row, even with equal names.
    fake.onSignal = [](const CCanMsg&, CCanSignal& s) {
        s.Name = "Twin";
        return true;
    };
    ClickNode({0, 0, 0});  // "b"
    list().OnNewSignal();
    list().OnNewSignal();
    ASSERT_EQ(dlg.WorkDb.Messages[0].Signals.size(), 3u);
    dlg.WorkDb.Messages[0].Signals[1].BitOffset = 8;
    dlg.WorkDb.Messages[0].Signals[2].BitOffset = 40;
    EXPECT_EQ(model().rowCount(Node({0, 0, 0})), 3);
    list().OnClick(2);
    list().OnDeleteSignal();
    ASSERT_EQ(dlg.WorkDb.Messages[0].Signals.size(), 2u);
    EXPECT_EQ(dlg.WorkDb.Messages[0].Signals[1].BitOffset, 8);

    // A new signal in the free-signal folder's list is a free signal with key 4.
    ClickNode({0, 1});
    list().OnNewSignal();
    EXPECT_EQ(list().rowsModel()->At(1).key, kKeyFreeSig);
    EXPECT_EQ(dlg.WorkDb.FreeSigMsg.Signals.size(), 2u);
    EXPECT_EQ(Text({0, 1, 1}), "Twin");

    // A table renamed in the list renames its node, whose entries follow.
    fake.onEnum = [](tCAN_SIGNAL_ENUM& t) {
        t.Name = "Gears";
        t.Items.push_back({"R", 2});
        return true;
    };
    ClickNode({0, 2});
    list().OnDblClick(0);
    EXPECT_EQ(Text({0, 2, 0}), "Gears");
    EXPECT_EQ(model().rowCount(Node({0, 2, 0})), 3);
    list().OnClick(0);
    list().OnDeleteEnum();
    EXPECT_EQ(model().rowCount(Node({0, 2})), 0);
}

TEST_F(EditorTest, ListSortByNameAndIdentifier) {
    dlg.WorkDb.Messages = {Msg("beta", 0x800, 1), Msg("Alpha", 0x7FF, 0), Msg("alpha", 0x100, 0),
                           Msg("Gamma", 0x1, 0)};
    ClickNode({0, 0});
    list().ShowNode(kKeyMsgFolder, "Messages");
    list().OnColumnClick(0);
    // Equal names (letter case ignored) keep their order.
    EXPECT_EQ(Column(), (QStringList{"Alpha", "alpha", "beta", "Gamma"}));
    list().OnColumnClick(0);
    EXPECT_EQ(Column(), (QStringList{"Gamma", "beta", "Alpha", "alpha"}));
    list().OnColumnClick(1);
    EXPECT_EQ(Column(1), (QStringList{"001", "100", "7FF", "00000800"}));
    list().OnColumnClick(1);
    EXPECT_EQ(Column(1), (QStringList{"00000800", "7FF", "100", "001"}));
    list().OnColumnClick(3);  // other columns keep the order, only the direction flips
    EXPECT_EQ(Column(1), (QStringList{"00000800", "7FF", "100", "001"}));
    EXPECT_EQ(list().SortDir(), -1);

    // Chinese names order by their GBK bytes.
    const std::vector<uint32_t> keys{candbui::MsgKey(0x1u, uint8_t{0}), candbui::MsgKey(0x2u, uint8_t{0})};
    tCAN_DATABASE db;
    db.Messages = {Msg("车速", 0x1, 0), Msg("发动机", 0x2, 0)};
    EXPECT_EQ(MsgListSortOrder(keys, db, 0, 1), (std::vector<size_t>{0, 1}));  // che before fa
}

TEST_F(EditorTest, FingerprintSaveAndClose) {
    dlg.WorkDb.LastEditDateTime = "then";
    dlg.OnTimer(100);
    EXPECT_NE(dlg.SavedXml().find("<Car"), std::string::npos);

    // Unchanged: saving ends with OK and keeps the time; closing asks nothing and cancels.
    dlg.OnSaveExit();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.WorkDb.LastEditDateTime, "then");
    dlg.show();
    dlg.close();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);

    // A renamed database asks; Cancel keeps the window, No drops, Yes hands back without a stamp.
    fake.onAttributes = [](tDB_ATTRIBUTES& a) {
        a.Name = "Car2";
        return true;
    };
    dlg.OnDbAttributes();
    EXPECT_EQ(Text({0}), "Car2");
    prompt.answers = {vex::MsgResult::Cancel, vex::MsgResult::No, vex::MsgResult::Yes};
    dlg.show();
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(prompt.lastText(), "是否保存修改?");
    EXPECT_EQ(prompt.messages.back().caption, "数据库编辑");
    EXPECT_EQ(prompt.messages.back().buttons, vex::MsgButtons::YesNoCancel);
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.show();
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.WorkDb.LastEditDateTime, "then");
    // Saving after a change stamps the time of the save.
    dlg.OnSaveExit();
    EXPECT_NE(dlg.WorkDb.LastEditDateTime, "then");
    EXPECT_NE(dlg.WorkDb.LastEditDateTime.find("秒"), std::string::npos);
}

TEST_F(EditorTest, NewDatabaseOpensItsAttributesOnce) {
    CCanDbEditDlg fresh;
    fresh.DbName = "DB-BLANK-1";
    fresh.FirstAddFlag = 1;
    fresh.CreatePanes();
    fake.onAttributes = [](tDB_ATTRIBUTES& a) {
        a.Name = "Named";
        a.Author = "me";
        return true;
    };
    fresh.OnTimer(100);
    EXPECT_TRUE(fake.log.empty());
    fresh.OnTimer(200);
    fresh.OnTimer(200);
    EXPECT_EQ(fake.log, (std::vector<std::string>{"attributes DB-BLANK-1"}));
    EXPECT_EQ(fresh.FirstAddFlag, 0);
    EXPECT_EQ(fresh.DbName, "Named");
    EXPECT_NE(fresh.MakeFingerprint(), fresh.SavedXml());  // the attributes count as a change
    fresh.OnSaveExit();
    EXPECT_FALSE(fresh.WorkDb.LastEditDateTime.empty());
    EXPECT_FALSE(fresh.Action(CCanDbEditDlg::ID_EXPORT)->isEnabled());
}
