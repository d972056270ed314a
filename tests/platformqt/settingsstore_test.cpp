#include "platform/qt/settingsstore.h"

#include <gtest/gtest.h>

#include <QSettings>

#include "tests/common/testsupport.h"

using namespace vex;
using Kind = SettingsStore::Kind;

namespace {

QString qpath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

}  // namespace

TEST(QtSettingsStore, KeepsDwordsAndTextsAcrossObjects) {
    vextest::TempDir dir;
    const QString file = qpath(dir / "store.conf");
    {
        QtSettingsStore s(file);
        ASSERT_TRUE(s.open());
        s.writeDword("dwWndTraceOrder", 4294967295u);
        s.writeString("sLastCfgFilePathName", "/home/用户/cfg/default.xml");
        s.writeString("sAppVersion", "@Variant(looks odd)");
        s.writeString("sEmpty", "");
        EXPECT_EQ(s.readDword("dwWndTraceOrder"), std::optional<uint32_t>(4294967295u));
        ASSERT_TRUE(s.close());
    }
    QtSettingsStore s(file);
    EXPECT_EQ(s.readDword("dwWndTraceOrder"), std::optional<uint32_t>(4294967295u));
    ASSERT_TRUE(s.read("sLastCfgFilePathName"));
    EXPECT_EQ(s.read("sLastCfgFilePathName")->kind, Kind::String);
    EXPECT_EQ(s.read("sLastCfgFilePathName")->text, "/home/用户/cfg/default.xml");
    EXPECT_EQ(s.read("sAppVersion")->text, "@Variant(looks odd)");
    EXPECT_EQ(s.read("sEmpty")->text, "");
    EXPECT_FALSE(s.read("missing"));
    EXPECT_FALSE(s.kind("missing"));

    // The values sit in group "Config" under their own names.
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Config/dwWndTraceOrder").toString(), QString("4294967295"));
}

TEST(QtSettingsStore, OtherTypesAndNonNumbers) {
    vextest::TempDir dir;
    const QString file = qpath(dir / "store.conf");
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue("Config/sAppVersion", QByteArray("1.0", 3));
        raw.setValue("Config/dwBig", "4294967296");
        raw.setValue("Config/dwNeg", "-1");
        raw.setValue("Config/dwText", "12ab");
    }
    QtSettingsStore s(file);
    EXPECT_EQ(s.kind("sAppVersion"), std::optional<Kind>(Kind::Other));
    EXPECT_FALSE(s.readDword("sAppVersion"));
    EXPECT_FALSE(s.readDword("dwBig"));
    EXPECT_FALSE(s.readDword("dwNeg"));
    EXPECT_FALSE(s.readDword("dwText"));
}

TEST(QtSettingsStore, UnwritablePlaceCannotBeOpened) {
    vextest::TempDir dir;
    vextest::writeFile(dir / "plain", "x");
    QtSettingsStore s(qpath(dir / "plain" / "store.conf"));  // parent is a regular file
    EXPECT_FALSE(s.open());
}

TEST(SettingsStore, CurrentIsScoped) {
    MemorySettingsStore fake;
    SettingsStore* before = &CurrentSettingsStore();
    {
        ScopedSettingsStore use(fake);
        EXPECT_EQ(&CurrentSettingsStore(), &fake);
    }
    EXPECT_EQ(&CurrentSettingsStore(), before);
    EXPECT_NE(dynamic_cast<QtSettingsStore*>(before), nullptr);
}
