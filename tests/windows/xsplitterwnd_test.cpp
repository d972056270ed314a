#include "windows/xsplitterwnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSplitterHandle>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A dialog-like parent holding a vertical splitter of two panes and a widget outside the splitter.
struct SplitHarness {
    QWidget window;
    CxSplitterWnd* splitter = new CxSplitterWnd(Qt::Vertical);
    QPlainTextEdit* top = new QPlainTextEdit;
    QPlainTextEdit* bottom = new QPlainTextEdit;
    QLineEdit* outside = new QLineEdit;

    SplitHarness() {
        splitter->addWidget(top);
        splitter->addWidget(bottom);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(splitter);
        layout->addWidget(outside);
        window.resize(300, 400);
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        QApplication::processEvents();  // lays the window out
        splitter->setSizes({150, 150});
    }

    QSplitterHandle* bar() const { return splitter->handle(1); }

    // A mouse event for the bar at the screen point `global`.
    void send(QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, bar()->mapFromGlobal(QPointF(global)), QPointF(global), Qt::LeftButton,
                          buttons, {});
        QApplication::sendEvent(bar(), &event);
    }

    // Presses on the bar, moves the mouse by `dy` in steps, releases there.
    void drag(int dy) {
        const QPoint start = bar()->mapToGlobal(bar()->rect().center());
        send(QEvent::MouseButtonPress, start, Qt::LeftButton);
        for (int step = 1; step <= 4; ++step)
            send(QEvent::MouseMove, start + QPoint(0, dy * step / 4), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, start + QPoint(0, dy), Qt::NoButton);
    }
};

}  // namespace

// A locked bar ignores drags while the program still sizes it; unlocked, it follows them again.
TEST(CxSplitterWnd, LockedBarIgnoresDragsUnlockedFollowsThem) {
    for (bool opaque : {true, false}) {
        SCOPED_TRACE(opaque);
        SplitHarness h;
        h.splitter->setOpaqueResize(opaque);
        h.splitter->SetMovable(false);
        const QList<int> before = h.splitter->sizes();
        h.drag(60);
        EXPECT_EQ(h.splitter->sizes(), before);
        h.drag(-40);
        EXPECT_EQ(h.splitter->sizes(), before);
        h.splitter->setSizes({100, before[0] + before[1] - 100});
        EXPECT_EQ(h.splitter->sizes()[0], 100);
        h.splitter->SetMovable(true);
        h.drag(30);
        EXPECT_EQ(h.splitter->sizes()[0], 130);
    }
}

TEST(CxSplitterWnd, LockedBarShowsNoSplitCursor) {
    SplitHarness h;
    EXPECT_TRUE(h.bar()->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(h.bar()->cursor().shape(), Qt::SplitVCursor);
    h.splitter->SetMovable(false);
    EXPECT_FALSE(h.bar()->testAttribute(Qt::WA_SetCursor));
    // A new orientation sets the base's split cursor again: a locked bar keeps none.
    h.splitter->setOrientation(Qt::Horizontal);
    EXPECT_FALSE(h.bar()->testAttribute(Qt::WA_SetCursor));
    // Bars added later are locked too.
    h.splitter->addWidget(new QLineEdit);
    EXPECT_FALSE(h.splitter->handle(2)->testAttribute(Qt::WA_SetCursor));
    h.splitter->SetMovable(true);
    EXPECT_EQ(h.bar()->cursor().shape(), Qt::SplitHCursor);
    EXPECT_EQ(h.splitter->handle(2)->cursor().shape(), Qt::SplitHCursor);
}

TEST(CxSplitterWnd, BarsArePaintedInTheHighlightColour) {
    SplitHarness h;
    const QImage image = h.splitter->grab().toImage();
    const QPoint centre = h.bar()->geometry().center();
    EXPECT_EQ(image.pixelColor(centre), h.bar()->palette().color(QPalette::Light));
}

TEST(CxSplitterWnd, ActivePaneIsTheFocusedPaneOnly) {
    SplitHarness h;
    int row = -9, column = -9;
    h.splitter->SetActivePane(1, 0);
    EXPECT_TRUE(h.bottom->hasFocus());
    EXPECT_EQ(h.splitter->GetActivePane(&row, &column), h.bottom);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(column, 0);

    h.splitter->SetActivePane(0, 0, h.top);
    EXPECT_TRUE(h.top->hasFocus());
    EXPECT_EQ(h.splitter->GetActivePane(&row, &column), h.top);
    EXPECT_EQ(row, 0);

    h.splitter->SetActivePane(0, 1);  // no such pane: the focus stays
    h.splitter->SetActivePane(5, 0);
    EXPECT_TRUE(h.top->hasFocus());

    h.outside->setFocus();
    row = column = -9;
    EXPECT_EQ(h.splitter->GetActivePane(&row, &column), nullptr);
    EXPECT_EQ(row, -9);

    h.splitter->setOrientation(Qt::Horizontal);
    h.splitter->SetActivePane(0, 1);
    EXPECT_EQ(h.splitter->GetActivePane(&row, &column), h.bottom);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(column, 1);
}
