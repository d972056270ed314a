#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ui/app/candevcfgdlg.h"
#include "config/appcfg.h"

namespace {

// Records as a loaded configuration holds them (NXP, CF51, WiFi), none Active.
struct Devs {
    tCFG_CAN_DEV d[3] = {{"NXP Vyk Device", 2, 0, {250, 0, 1}, {250, 0, 1}},
                         {"CF51 Vyk Device", 1, 0, {250, 0, 1}, {250, 0, 1}},
                         {"WiFi Vyk Device", 2, 0, {250, 0, 1}, {250, 0, 1}}};
};

Devs withActive(uint8_t nxp, uint8_t cf51, uint8_t wifi) {
    Devs v;
    v.d[CAppCfg::kDevNxp].Active = nxp;
    v.d[CAppCfg::kDevCf51].Active = cf51;
    v.d[CAppCfg::kDevWiFi].Active = wifi;
    return v;
}

template <class T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// The user picks the item with that text from the closed list with the arrow keys.
void pick(QComboBox* combo, const QString& text) {
    const int target = combo->findText(text);
    ASSERT_GE(target, 0) << text.toStdString();
    combo->setFocus();
    while (combo->currentIndex() != target)
        QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

}  // namespace

TEST(CanDevCfgModel, RateTableBothWays) {
    const struct {
        uint16_t rate;
        const char* text;
    } shown[] = {{1000, "BAUD_1M"},  {500, "BAUD_500K"}, {250, "BAUD_250K"},  {125, "BAUD_125K"},
                 {100, "BAUD_100K"}, {50, "BAUD_50K"},   {20, "BAUD_20K"},    {10, "BAUD_10K"},
                 {83, "BAUD_250K"},  {0, "BAUD_250K"},   {65535, "BAUD_250K"}};
    for (const auto& r : shown) EXPECT_EQ(CanBaudText(r.rate), r.text) << r.rate;
    const struct {
        const char* text;
        uint16_t rate;
    } stored[] = {{"BAUD_1M", 1000}, {"BAUD_10K", 10}, {"BAUD_83K", 0},
                  {"baud_1m", 0},    {"", 0},          {"BAUD_1M ", 0}};
    for (const auto& r : stored) EXPECT_EQ(CanBaudValue(r.text), r.rate) << r.text;
}

TEST(CanDevCfgModel, ShownDeviceAndEnabledRatesFollowActiveAndKind) {
    EXPECT_EQ(CanChanEnableForKind(0), (CanChanEnable{false, false}));
    EXPECT_EQ(CanChanEnableForKind(1), (CanChanEnable{false, true}));
    EXPECT_EQ(CanChanEnableForKind(2), (CanChanEnable{true, true}));
    EXPECT_EQ(CanChanEnableForKind(3), (CanChanEnable{false, false}));

    // The list is CF51, NXP, WiFi; the last Active one in that order is shown.
    const struct {
        uint8_t nxp, cf51, wifi;
        int shown;
        CanChanEnable enabled;
    } rows[] = {
        {0, 0, 0, -1, {false, false}}, {1, 0, 0, 1, {true, true}}, {0, 1, 0, 0, {false, true}},
        {1, 1, 0, 1, {true, true}},    {0, 1, 1, 2, {true, true}}, {1, 1, 1, 2, {true, true}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.nxp) << int(r.cf51) << int(r.wifi));
        const CanDevCfgModel m(withActive(r.nxp, r.cf51, r.wifi).d);
        EXPECT_EQ(m.DeviceNames(),
                  (std::vector<std::string>{"CF51 Vyk Device", "NXP Vyk Device", "WiFi Vyk Device"}));
        EXPECT_EQ(m.Shown(), r.shown);
        EXPECT_EQ(m.Enabled(), r.enabled);
    }
}

TEST(CanDevCfgModel, ChoicesChangeOnlyActiveAndRates) {
    Devs v = withActive(1, 0, 0);
    v.d[CAppCfg::kDevCf51].CHAN0.Baudrate = 83;  // not in the table
    CanDevCfgModel m(v.d);
    m.SelectDevice("CF51 Vyk Device");
    EXPECT_EQ(m.Shown(), 0);
    EXPECT_EQ(m.Enabled(), (CanChanEnable{false, true}));
    EXPECT_EQ(m.RateText(0), "BAUD_250K");
    m.SelectRate(1, "BAUD_500K");
    EXPECT_EQ(m.RateText(1), "BAUD_500K");
    Devs expected = withActive(0, 1, 0);
    expected.d[CAppCfg::kDevCf51].CHAN0.Baudrate = 83;  // kept until a rate is picked for it
    expected.d[CAppCfg::kDevCf51].CHAN1.Baudrate = 500;
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(m.Dev(i), expected.d[i]) << i;

    // A text that is not in the table stores 0.
    m.SelectRate(0, "BAUD_83K");
    EXPECT_EQ(m.Dev(CAppCfg::kDevCf51).CHAN0.Baudrate, 0);

    // With several records Active (a hand-edited file), a rate goes into each of them.
    CanDevCfgModel both(withActive(1, 1, 0).d);
    both.SelectRate(0, "BAUD_1M");
    EXPECT_EQ(both.Dev(CAppCfg::kDevNxp).CHAN0.Baudrate, 1000);
    EXPECT_EQ(both.Dev(CAppCfg::kDevCf51).CHAN0.Baudrate, 1000);
    EXPECT_EQ(both.Dev(CAppCfg::kDevWiFi).CHAN0.Baudrate, 250);
}

TEST(CanDevCfgDlg, ShowsTheRecordsAndTakesTheUsersChoices) {
    Devs v = withActive(1, 0, 0);
    v.d[CAppCfg::kDevNxp].CHAN1.Baudrate = 83;
    CCanDevCfgDlg dlg(v.d, false);
    dlg.show();
    auto* device = child<QComboBox>(dlg, "cmbDevice");
    auto* chan0 = child<QComboBox>(dlg, "cmbChan0Baud");
    auto* chan1 = child<QComboBox>(dlg, "cmbChan1Baud");
    EXPECT_EQ(device->currentText(), "NXP Vyk Device");
    EXPECT_EQ(chan0->count(), 8);
    EXPECT_EQ(chan0->currentText(), "BAUD_250K");
    EXPECT_EQ(chan1->currentText(), "BAUD_250K");  // 83 is not in the list
    EXPECT_TRUE(device->isEnabled());
    EXPECT_TRUE(chan0->isEnabled());
    EXPECT_TRUE(chan1->isEnabled());

    pick(chan0, "BAUD_125K");
    EXPECT_EQ(dlg.model().Dev(CAppCfg::kDevNxp).CHAN0.Baudrate, 125);
    EXPECT_EQ(dlg.model().Dev(CAppCfg::kDevNxp).CHAN1.Baudrate, 83);

    pick(device, "CF51 Vyk Device");
    EXPECT_FALSE(chan0->isEnabled());
    EXPECT_TRUE(chan1->isEnabled());
    pick(chan1, "BAUD_1M");
    tCFG_CAN_DEV out[3];
    dlg.CopyRecordsTo(out);
    EXPECT_EQ(out[CAppCfg::kDevNxp].Active, 0);
    EXPECT_EQ(out[CAppCfg::kDevCf51], (tCFG_CAN_DEV{"CF51 Vyk Device", 1, 1, {250, 0, 1}, {1000, 0, 1}}));
}

TEST(CanDevCfgDlg, NoActiveRecordAndOnlineLeaveNothingToChoose) {
    CCanDevCfgDlg none(withActive(0, 0, 0).d, false);
    EXPECT_EQ(child<QComboBox>(none, "cmbDevice")->currentIndex(), -1);
    EXPECT_TRUE(child<QComboBox>(none, "cmbDevice")->isEnabled());
    EXPECT_FALSE(child<QComboBox>(none, "cmbChan0Baud")->isEnabled());
    EXPECT_FALSE(child<QComboBox>(none, "cmbChan1Baud")->isEnabled());

    const Devs v = withActive(1, 0, 0);
    CCanDevCfgDlg online(v.d, true);
    online.show();
    for (const char* name : {"cmbDevice", "cmbChan0Baud", "cmbChan1Baud"}) {
        auto* combo = child<QComboBox>(online, name);
        EXPECT_FALSE(combo->isEnabled()) << name;
        QTest::keyClick(combo, Qt::Key_Down);
    }
    EXPECT_EQ(child<QComboBox>(online, "cmbDevice")->currentText(), "NXP Vyk Device");
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(online.model().Dev(i), v.d[i]) << i;
}

// The command copies the records back on OK only.
TEST(CanDevCfgDlg, EditCanDevicesCopiesBackOnOkOnly) {
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok);
        CAppCfg cfg;
        QTimer::singleShot(0, [ok] {
            auto* dlg = qobject_cast<CCanDevCfgDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            pick(child<QComboBox>(*dlg, "cmbDevice"), "CF51 Vyk Device");
            QTest::mouseClick(child<QPushButton>(*dlg, ok ? "btnOk" : "btnCancel"), Qt::LeftButton);
        });
        EXPECT_EQ(EditCanDevices(cfg, false, nullptr), ok);
        EXPECT_EQ(cfg.CanDev[CAppCfg::kDevNxp].Active, ok ? 0 : 1);
        EXPECT_EQ(cfg.CanDev[CAppCfg::kDevCf51].Active, ok ? 1 : 0);
    }
}
