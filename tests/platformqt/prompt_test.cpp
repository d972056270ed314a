#include "tests/common/fakeprompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace vex;

namespace {

// Runs `act` on the first modal window once it is shown.
void whenModalOpens(std::function<void(QWidget&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(*w);
    });
    timer->start();
}

void clickButton(QWidget& box, const QString& text) {
    for (auto* b : box.findChildren<QPushButton*>())
        if (b->text() == text) return b->click();
    ADD_FAILURE() << "no button " << text.toStdString();
}

}  // namespace

TEST(FakePrompt, RecordsAndAnswersFromTheQueues) {
    FakePrompt fake;
    ScopedPrompt use(fake);
    EXPECT_EQ(&CurrentPrompt(), &fake);

    // Empty queue: OK for the OK sets, Yes for the Yes/No sets.
    EXPECT_EQ(ShowMessage(nullptr, "一"), MsgResult::Ok);
    EXPECT_EQ(ShowMessage(nullptr, "二", MsgButtons::OkCancel), MsgResult::Ok);
    EXPECT_EQ(ShowMessage(nullptr, "三", MsgButtons::YesNo, MsgIcon::Question), MsgResult::Yes);
    fake.answers = {MsgResult::Cancel, MsgResult::No};
    EXPECT_EQ(ShowMessage(nullptr, "四", MsgButtons::YesNoCancel), MsgResult::Cancel);
    EXPECT_EQ(CurrentPrompt().message(nullptr, "五", "标题", MsgButtons::YesNo, MsgIcon::Error),
              MsgResult::No);

    ASSERT_EQ(fake.messages.size(), 5u);
    EXPECT_EQ(fake.messages[0].text, QString("一"));
    EXPECT_EQ(fake.messages[0].caption, QString("Vexarium"));
    EXPECT_EQ(fake.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(fake.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(fake.messages[2].icon, MsgIcon::Question);
    EXPECT_EQ(fake.messages[4].caption, QString("标题"));
    EXPECT_EQ(fake.lastText(), QString("五"));

    fake.paths = {"/a.xml", "/dir"};
    fake.pathLists = {{"/1.crm", "/2.crm"}};
    fake.colours = {0x00FF8000u};
    EXPECT_EQ(CurrentPrompt().openFile(nullptr, "打开", "/start", "XML (*.xml)"), QString("/a.xml"));
    EXPECT_EQ(CurrentPrompt().chooseFolder(nullptr, "目录", "/"), QString("/dir"));
    EXPECT_EQ(CurrentPrompt().saveFile(nullptr, "保存", "", ""), QString());  // queue empty: cancelled
    EXPECT_EQ(CurrentPrompt().openFiles(nullptr, "", "", ""), QStringList({"/1.crm", "/2.crm"}));
    EXPECT_TRUE(CurrentPrompt().openFiles(nullptr, "", "", "").isEmpty());
    EXPECT_EQ(CurrentPrompt().chooseColour(nullptr, 0xFF, ""), std::optional<uint32_t>(0x00FF8000u));
    EXPECT_EQ(CurrentPrompt().chooseColour(nullptr, 0xFF, ""), std::nullopt);
    ASSERT_EQ(fake.requests.size(), 7u);
    EXPECT_EQ(fake.requests[0].kind, FakePrompt::Chooser::OpenFile);
    EXPECT_EQ(fake.requests[0].dir, QString("/start"));
    EXPECT_EQ(fake.requests[0].filter, QString("XML (*.xml)"));
    EXPECT_EQ(fake.requests[5].initialColour, 0xFFu);
}

TEST(QtPrompt, MessageBoxReturnsTheButtonPressed) {
    struct {
        MsgButtons buttons;
        const char* press;  // nullptr: Escape
        MsgResult want;
    } cases[] = {
        {MsgButtons::Ok, "确定", MsgResult::Ok},
        {MsgButtons::OkCancel, "取消", MsgResult::Cancel},
        {MsgButtons::YesNo, "否", MsgResult::No},
        {MsgButtons::YesNoCancel, "是", MsgResult::Yes},
        {MsgButtons::YesNoCancel, nullptr, MsgResult::Cancel},
        {MsgButtons::YesNo, nullptr, MsgResult::No},
    };
    for (const auto& c : cases) {
        QString seenText, seenTitle;
        whenModalOpens([&](QWidget& w) {
            auto* box = qobject_cast<QMessageBox*>(&w);
            ASSERT_NE(box, nullptr);
            seenText = box->text();
            seenTitle = box->windowTitle();
            if (c.press)
                clickButton(w, QString::fromUtf8(c.press));
            else
                box->reject();
        });
        EXPECT_EQ(ShowMessage(nullptr, "提示文字", c.buttons), c.want) << (c.press ? c.press : "Esc");
        EXPECT_EQ(seenText, QString("提示文字"));
        EXPECT_EQ(seenTitle, QString("Vexarium"));
    }
}

TEST(QtPrompt, ColourIsRedInTheLowByte) {
    QColor shown;
    whenModalOpens([&](QWidget& w) {
        auto* dlg = qobject_cast<QColorDialog*>(&w);
        ASSERT_NE(dlg, nullptr);
        shown = dlg->currentColor();
        dlg->setCurrentColor(QColor(0x12, 0x34, 0x56));
        dlg->accept();
    });
    const auto c = CurrentPrompt().chooseColour(nullptr, 0x00C08040u, "颜色");
    EXPECT_EQ(shown, QColor(0x40, 0x80, 0xC0));
    EXPECT_EQ(c, std::optional<uint32_t>(0x00563412u));

    whenModalOpens([](QWidget& w) { qobject_cast<QDialog*>(&w)->reject(); });
    EXPECT_EQ(CurrentPrompt().chooseColour(nullptr, 0, ""), std::nullopt);
}
