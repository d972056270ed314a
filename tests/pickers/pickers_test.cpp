// The message and signal pickers over the global maps of a hub: what they list, their filters (on text,
// Chinese names included), their sort (stable, alternating, on text), the selection after a sort, ticks,
// exclusions and the results they give back.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QTableView>

#include <string>
#include <vector>

#include "app/canmsgdatahub.h"
#include "windows/canselectmsgdlg.h"
#include "windows/canselectsigdlg.h"
#include "config/appcfg.h"
#include "tests/common/fakeprompt.h"

namespace {

CCanSignal Sig(const std::string& name, uint8_t bitLen = 8, bool intel = true, bool sign = false) {
    CCanSignal s;
    s.Name = name;
    s.BitLen = bitLen;
    s.ByteFmtIntel = intel ? 1 : 0;
    s.Sign = sign ? 1 : 0;
    return s;
}

CCanMsg Msg(const std::string& name, uint32_t id, uint8_t ext, std::vector<CCanSignal> sigs = {}) {
    CCanMsg m;
    m.Name = name;
    m.id = id;
    m.Ext = ext;
    m.DL = static_cast<uint8_t>(ext ? 8 : 4);
    m.Signals = std::move(sigs);
    return m;
}

constexpr uint32_t kExt = kMsgKeyExtFlag;

// Five messages; keys ascending: 0x100, 0x200 (same name as 0x100), 0x7DF, 0x1A7DF00+ext, 0x17DF0000+ext.
class PickerTest : public ::testing::Test {
protected:
    PickerTest() : hub(cfg, info) {
        CCanSignal motorola = Sig("Torque", 12, false, true);
        motorola.ValFactor = 0.1;
        motorola.PhyMin = -204.5;
        motorola.PhyMax = 204.75;
        motorola.Unit = "Nm";
        tCFG_CAN_DATABASE db;
        db.Name = "db";
        db.Database.Messages = {
            Msg("发动机状态", 0x100, 0, {Sig("转速"), motorola}),
            Msg("发动机状态", 0x200, 0, {Sig("Speed")}),
            Msg("Diag", 0x7DF, 0, {Sig("Speed")}),
            Msg("ÄBS", 0x17DF0000, 1, {Sig("Ärger")}),
            Msg("body", 0x1A7DF00, 1),
        };
        cfg.CanDatabases = {db};
        hub.BuildGlobalMaps();
    }
    QStringList Column(QAbstractItemModel& model, int column) const {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r) out << model.index(r, column).data().toString();
        return out;
    }

    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub;
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
};

}  // namespace

TEST_F(PickerTest, MessageFiltersOnTextEitherFilterMatches) {
    CCanDbSelectMsgDlg dlg(hub);
    QAbstractItemModelTester tester(dlg.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    dlg.Exclusions = {0x200};
    dlg.show();
    EXPECT_EQ(Column(*dlg.model(), 0), QStringList({"发动机状态", "Diag", "body", "ÄBS"}));
    EXPECT_EQ(Column(*dlg.model(), 1), QStringList({"00000100", "000007DF", "01A7DF00", "17DF0000"}));
    EXPECT_EQ(Column(*dlg.model(), 2), QStringList({"std", "std", "ext", "ext"}));
    EXPECT_EQ(Column(*dlg.model(), 3), QStringList({"4", "4", "8", "8"}));
    struct Case {
        const char *name, *id;
        QStringList listed;
    } cases[] = {
        {"", "", {"发动机状态", "Diag", "body", "ÄBS"}},
        {"动机", "", {"发动机状态"}},
        {"äb", "", {"ÄBS"}},  // non-ASCII letters compare case-blind
        {"DIAG", "", {"Diag"}},
        {"", "7df", {"Diag", "body", "ÄBS"}},
        {"", "7DF", {"Diag", "body", "ÄBS"}},
        {"body", "100", {"发动机状态", "body"}},  // either filter
        {"x", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "|" + c.id);
        dlg.nameFilter()->setText(QString::fromUtf8(c.name));
        dlg.idFilter()->setText(QString::fromUtf8(c.id));
        EXPECT_EQ(Column(*dlg.model(), 0), c.listed);
    }
}

TEST_F(PickerTest, MessageSortAlternatesIsStableAndKeepsTheSelectedMessage) {
    CCanDbSelectMsgDlg dlg(hub);
    QAbstractItemModelTester tester(dlg.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    dlg.show();
    auto keys = [&] { return dlg.model()->Rows(); };
    // First click: greatest first; equal names keep their order.
    dlg.OnHeaderClicked(CCanDbSelectMsgModel::kName);
    EXPECT_EQ(keys(), (std::vector<uint32_t>{0x100, 0x200, 0x17DF0000 + kExt, 0x7DF, 0x1A7DF00 + kExt}));
    dlg.OnHeaderClicked(CCanDbSelectMsgModel::kName);
    EXPECT_EQ(keys(), (std::vector<uint32_t>{0x1A7DF00 + kExt, 0x7DF, 0x17DF0000 + kExt, 0x100, 0x200}));
    // The direction is one for all columns; the type column leaves the order but flips it.
    dlg.OnHeaderClicked(CCanDbSelectMsgModel::kType);
    EXPECT_EQ(keys(), (std::vector<uint32_t>{0x1A7DF00 + kExt, 0x7DF, 0x17DF0000 + kExt, 0x100, 0x200}));
    dlg.OnHeaderClicked(CCanDbSelectMsgModel::kId);
    EXPECT_EQ(keys(), (std::vector<uint32_t>{0x100, 0x200, 0x7DF, 0x1A7DF00 + kExt, 0x17DF0000 + kExt}));

    // OK gives the message the user selected, not the one that came to its row by the sort.
    dlg.list()->selectRow(1);  // 0x200
    dlg.OnHeaderClicked(CCanDbSelectMsgModel::kId);
    EXPECT_EQ(keys()[1], 0x1A7DF00 + kExt);
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Results, std::vector<uint32_t>{0x200});
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(PickerTest, MessageOKNeedsASelectionAndAFindClearsIt) {
    CCanDbSelectMsgDlg dlg(hub);
    dlg.show();
    dlg.OnOK();
    EXPECT_EQ(prompt.lastText(), "请选择其中一项。");
    EXPECT_TRUE(dlg.isVisible());
    dlg.list()->selectRow(1);
    dlg.OnFind();
    prompt.clear();
    dlg.OnOK();
    EXPECT_EQ(prompt.lastText(), "请选择其中一项。");
    EXPECT_TRUE(dlg.Results.empty());
}

TEST_F(PickerTest, SignalRowsExclusionsAndFilters) {
    CCanDbSelectSigDlg dlg(hub);
    QAbstractItemModelTester tester(dlg.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    tCAN_DB_SEL_CAN_SIG speedOf200;
    speedOf200.MsgKey = 0x200;
    speedOf200.CanSig = Sig("Speed");
    dlg.Exclusions = {speedOf200};
    dlg.show();
    CCanDbSelectSigModel& m = *dlg.model();
    // The same name in another message is still listed.
    EXPECT_EQ(Column(m, 0), QStringList({"转速", "Torque", "Speed", "Ärger"}));
    const QStringList torque = {"Torque", "发动机状态", "00000100(std)",   "INT12", "MOTO",
                                "0",      "(0.1,0)",    "[-204.5,204.75]", "Nm"};
    QStringList row1;
    for (int c = 0; c < CCanDbSelectSigModel::kColumns; ++c) row1 << m.index(1, c).data().toString();
    EXPECT_EQ(row1, torque);
    EXPECT_EQ(m.index(2, 2).data().toString(), "000007DF(std)");
    EXPECT_EQ(m.index(3, 2).data().toString(), "17DF0000(ext)");
    EXPECT_EQ(m.index(0, 3).data().toString(), "UINT8");
    EXPECT_EQ(m.index(0, 4).data().toString(), "INTEL");

    struct Case {
        const char *sig, *msg, *id;
        QStringList listed;
    } cases[] = {
        {"转", "", "", {"转速"}},
        {"ärg", "", "", {"Ärger"}},
        {"", "发动机", "", {"转速", "Torque"}},
        {"", "", "7df", {"Speed", "Ärger"}},
        {"speed", "äbs", "", {"Speed", "Ärger"}},
        {"", "", "", {"转速", "Torque", "Speed", "Ärger"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sig) + "|" + c.msg + "|" + c.id);
        dlg.sigFilter()->setText(QString::fromUtf8(c.sig));
        dlg.msgFilter()->setText(QString::fromUtf8(c.msg));
        dlg.idFilter()->setText(QString::fromUtf8(c.id));
        EXPECT_EQ(Column(m, 0), c.listed);
    }
}

TEST_F(PickerTest, SignalTicksSortAndResults) {
    CCanDbSelectSigDlg dlg(hub);
    QAbstractItemModelTester tester(dlg.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    dlg.show();
    CCanDbSelectSigModel& m = *dlg.model();
    auto tick = [](CCanDbSelectSigModel& model, const char* name) {
        for (int r = 0; r < model.rowCount(); ++r) {
            if (model.index(r, 0).data().toString() == QString::fromUtf8(name)) {
                EXPECT_TRUE(model.setData(model.index(r, 0), Qt::Checked, Qt::CheckStateRole));
            }
        }
    };
    auto names = [&](const std::vector<tCAN_DB_SEL_CAN_SIG>& sigs) {
        QStringList out;
        for (const auto& s : sigs) out << QString::fromStdString(s.CanSig.Name);
        return out;
    };
    EXPECT_EQ(Column(m, 0), QStringList({"转速", "Torque", "Speed", "Speed", "Ärger"}));
    tick(m, "Torque");
    tick(m, "Ärger");
    dlg.OnHeaderClicked(CCanDbSelectSigModel::kType);  // not sortable: nothing, direction kept
    dlg.OnHeaderClicked(CCanDbSelectSigModel::kSigName);
    EXPECT_EQ(Column(m, 0), QStringList({"转速", "Ärger", "Torque", "Speed", "Speed"}));
    dlg.OnHeaderClicked(CCanDbSelectSigModel::kMsgName);
    EXPECT_EQ(Column(m, 1), QStringList({"Diag", "ÄBS", "发动机状态", "发动机状态", "发动机状态"}));
    EXPECT_EQ(Column(m, 0), QStringList({"Speed", "Ärger", "转速", "Torque", "Speed"}));
    // Ticks stay with their rows; results come in row order.
    EXPECT_EQ(names(m.Ticked()), QStringList({"Ärger", "Torque"}));
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(dlg.Results.size(), 2u);
    EXPECT_EQ(dlg.Results[0].MsgKey, 0x17DF0000 + kExt);
    EXPECT_EQ(dlg.Results[1].MsgKey, 0x100u);
    EXPECT_EQ(dlg.Results[1].SigNo, 1u);
    EXPECT_EQ(dlg.Results[1].CanSig, hub.GlobalSigMap()[1].CanSig);

    // A find loses every tick; OK without ticks still closes with OK and no result.
    CCanDbSelectSigDlg again(hub);
    again.show();
    tick(*again.model(), "Speed");
    EXPECT_EQ(again.model()->Ticked().size(), 2u);
    again.OnFind();
    again.OnOK();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_TRUE(again.Results.empty());
}
