#include "windows/listcellpaint.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

constexpr QRgb kOutside = 0xFFFF00FF;  // magenta: whatever a painter must leave alone
const QRect kCell(10, 6, 200, 22);

struct Ink {
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1, count = 0;
    void add(int x, int y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        ++count;
    }
    double centreX() const { return (left + right) / 2.0; }
    double centreY() const { return (top + bottom) / 2.0; }
};

QImage paint(const std::function<void(QPainter&)>& draw) {
    QImage image(240, 40, QImage::Format_ARGB32);
    image.fill(kOutside);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    draw(painter);
    painter.end();
    return image;
}

Ink inkWhere(const QImage& image, const std::function<bool(QColor)>& is) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (is(image.pixelColor(x, y))) ink.add(x, y);
    return ink;
}

bool untouchedOutside(const QImage& image, const QRect& inside) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!inside.contains(x, y) && image.pixel(x, y) != kOutside) return false;
    return true;
}

// A one-row model whose columns carry the header alignments left, centre, right.
struct Table {
    QStandardItemModel model{1, 3};
    Table() {
        const Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignCenter, Qt::AlignRight};
        for (int c = 0; c < 3; ++c)
            model.setHeaderData(c, Qt::Horizontal, int(aligns[c] | Qt::AlignVCenter), Qt::TextAlignmentRole);
    }
    QModelIndex cell(int column, const QString& text) {
        model.setData(model.index(0, column), text);
        return model.index(0, column);
    }
};

bool isBlackInk(QColor c) {
    return c.red() < 100 && c.green() < 100 && c.blue() < 100;
}
bool isRedInk(QColor c) {
    return c.red() > 160 && c.green() < 90 && c.blue() < 90;
}

}  // namespace

// Colour values are blue, green, red from the high byte down.
TEST(ListCellPaint, SubItemFillsTheCellAndDrawsTheTextInItsColour) {
    Table t;
    const QModelIndex index = t.cell(1, QStringLiteral("WWWW"));
    const QImage image =
        paint([&](QPainter& p) { DrawListSubItem(p, kCell, index, 0x000080, 0xFF9B9B, false); });
    EXPECT_TRUE(untouchedOutside(image, kCell));
    EXPECT_EQ(image.pixelColor(kCell.topLeft()), QColor(0x9B, 0x9B, 0xFF));
    EXPECT_EQ(image.pixelColor(kCell.bottomRight()), QColor(0x9B, 0x9B, 0xFF));
    const Ink ink = inkWhere(image, [](QColor c) { return c == QColor(0x80, 0, 0); });
    EXPECT_GT(ink.count, 10);  // solid strokes in exactly the text colour
    EXPECT_NEAR(ink.centreY(), kCell.center().y(), 2.5);
}

TEST(ListCellPaint, SubItemFollowsTheHeaderAlignment) {
    Table t;
    struct Case {
        int column;
        const char* where;
    } cases[] = {{1, "centre"}, {2, "right"}};
    const QImage left = paint([&](QPainter& p) {
        QStandardItemModel plain(1, 2);  // no header alignment at all: left
        plain.setData(plain.index(0, 1), QStringLiteral("Abc"));
        DrawListSubItem(p, kCell, plain.index(0, 1), 0, 0xFFFFFF, false);
    });
    const Ink l = inkWhere(left, isBlackInk);
    EXPECT_LE(l.left - kCell.left(), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const QModelIndex index = t.cell(c.column, QStringLiteral("Abc"));
        const Ink ink = inkWhere(
            paint([&](QPainter& p) { DrawListSubItem(p, kCell, index, 0, 0xFFFFFF, false); }), isBlackInk);
        ASSERT_GT(ink.count, 0);
        EXPECT_NEAR(ink.right - ink.left, l.right - l.left, 1);  // sub-pixel placement
        if (c.column == 1)
            EXPECT_NEAR(ink.centreX(), kCell.left() + kCell.width() / 2.0, 2.0);
        else
            EXPECT_LE(kCell.right() - ink.right, 3);
    }
}

TEST(ListCellPaint, FirstColumnTextStartsFourPixelsIn) {
    QStandardItemModel model(1, 2);
    model.setData(model.index(0, 0), QStringLiteral("Hx"));
    model.setData(model.index(0, 1), QStringLiteral("Hx"));
    const Ink first = inkWhere(
        paint([&](QPainter& p) { DrawListSubItem(p, kCell, model.index(0, 0), 0, 0xFFFFFF, false); }),
        isBlackInk);
    const Ink other = inkWhere(
        paint([&](QPainter& p) { DrawListSubItem(p, kCell, model.index(0, 1), 0, 0xFFFFFF, false); }),
        isBlackInk);
    EXPECT_EQ(first.left - other.left, 4);
}

TEST(ListCellPaint, MarkerPrecedesTheTextInRedWithoutOverlap) {
    Table t;
    for (int column : {0, 1, 2}) {
        SCOPED_TRACE(column);
        const QModelIndex index = t.cell(column, QStringLiteral("Name"));
        const QImage image = paint([&](QPainter& p) { DrawListSubItem(p, kCell, index, 0, 0xFFFFFF, true); });
        const Ink red = inkWhere(image, isRedInk);
        const Ink text = inkWhere(image, isBlackInk);
        ASSERT_GT(red.count, 0);
        ASSERT_GT(text.count, 0);
        EXPECT_LT(red.right, text.left);
        if (column == 1) {
            EXPECT_NEAR((red.left + text.right) / 2.0, kCell.left() + kCell.width() / 2.0, 4.0);
        } else if (column == 2) {
            EXPECT_LE(kCell.right() - text.right, 3);
        } else {
            EXPECT_LE(red.left - kCell.left(), 4 + 3);
        }
    }
}

TEST(ListCellPaint, EmptyCellIsBackgroundOnlyAndLongTextStaysInside) {
    Table t;
    QModelIndex index = t.cell(1, QString());
    QImage image = paint([&](QPainter& p) { DrawListSubItem(p, kCell, index, 0, 0xFF9B9B, true); });
    EXPECT_TRUE(untouchedOutside(image, kCell));
    for (int y = kCell.top(); y <= kCell.bottom(); ++y)
        for (int x = kCell.left(); x <= kCell.right(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), QColor(0x9B, 0x9B, 0xFF)) << x << "," << y;

    index = t.cell(1, QString(60, QChar('W')));
    image = paint([&](QPainter& p) { DrawListSubItem(p, kCell, index, 0, 0xFFFFFF, true); });
    EXPECT_TRUE(untouchedOutside(image, kCell));
}

TEST(ListCellPaint, CheckCellTicksInsideItsMargins) {
    const QRect cell(20, 5, 60, 22);
    const QImage off = paint([&](QPainter& p) { DrawListCheckCell(p, cell, false); });
    const QImage on = paint([&](QPainter& p) { DrawListCheckCell(p, cell, true); });
    EXPECT_TRUE(untouchedOutside(off, cell.adjusted(2, 1, -2, -1)));
    EXPECT_TRUE(untouchedOutside(on, cell.adjusted(2, 2, -2, -2)));
    EXPECT_NE(off, on);
    // A box in the middle of the cell, as the column is centred.
    const Ink box = inkWhere(off, [](QColor c) { return c.rgb() != kOutside; });
    ASSERT_GT(box.count, 0);
    EXPECT_NEAR(box.centreX(), cell.left() + cell.width() / 2.0, 1.5);
}

TEST(ListCellPaint, ButtonCellShowsNowCentredAndPressedWhileSet) {
    const QRect cell(20, 5, 60, 22);
    const QImage up = paint([&](QPainter& p) { DrawListButtonCell(p, cell, false); });
    const QImage down = paint([&](QPainter& p) { DrawListButtonCell(p, cell, true); });
    const QRect inner = cell.adjusted(2, 1, -2, -1);
    EXPECT_TRUE(untouchedOutside(up, inner));
    EXPECT_TRUE(untouchedOutside(down, inner));
    EXPECT_NE(up, down);
    const Ink label = inkWhere(up, isBlackInk);
    ASSERT_GT(label.count, 0);
    EXPECT_NEAR(label.centreX(), inner.left() + inner.width() / 2.0, 2.0);
    EXPECT_GE(label.top, inner.top() + 3);
    // Black on white: the label's box above the lower-case letters is white, not the button's face.
    EXPECT_EQ(up.pixel(int(label.centreX()), label.top - 1), 0xFFFFFFFFu);
    EXPECT_EQ(down.pixel(int(label.centreX()), label.top - 1), 0xFFFFFFFFu);

    // A cell narrower than the label: it starts at the left edge and stays inside.
    const QRect narrow(20, 5, 16, 22);
    const QImage squeezed = paint([&](QPainter& p) { DrawListButtonCell(p, narrow, false); });
    EXPECT_TRUE(untouchedOutside(squeezed, narrow.adjusted(2, 1, -2, -1)));
}

// Glyphs put together from tiles look as glyphs drawn one by one: the same pixels, for texts at every
// quarter-pixel offset, left, centred and right, in two pairs of colours. Where two glyphs overlap, the
// painter blends both and the tiles give one of them: such pixels stay close.
TEST(CellTextPainter, CopiedGlyphsMatchDrawnGlyphs) {
    struct Colours {
        QColor text, background;
    } colours[] = {{Qt::black, QColor(0xF0, 0xF7, 0xF9)}, {Qt::white, QColor(0x00, 0x3C, 0xFF)}};
    const char* texts[] = {"0x0CF00400", "Extended", "12345  Engine_Data_2", "-1.5e3 Wq|j{}", "--"};
    CCellTextPainter copied, drawn;
    for (const Colours& c : colours) {
        for (const char* text : texts) {
            for (int width = 120; width < 124; ++width) {
                for (Qt::Alignment align : {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight}) {
                    SCOPED_TRACE(std::string(text) + " " + std::to_string(width) + " " +
                                 std::to_string(align));
                    const QRect cell(7, 5, width, 22);
                    auto draw = [&](CCellTextPainter& painter, const QColor& background) {
                        return paint([&](QPainter& p) {
                            p.fillRect(cell, c.background);
                            p.setPen(c.text);
                            painter.Draw(p, cell, cell, align, std::string_view(text), false, background);
                        });
                    };
                    const QImage a = draw(copied, c.background), b = draw(drawn, QColor());
                    int differ = 0, most = 0;
                    for (int y = 0; y < a.height(); ++y) {
                        for (int x = 0; x < a.width(); ++x) {
                            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                            if (p == q) continue;
                            ++differ;
                            most = std::max({most, std::abs(qRed(p) - qRed(q)),
                                             std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
                        }
                    }
                    EXPECT_LE(differ, 2);
                    EXPECT_LE(most, 40);
                }
            }
        }
    }
}

// Text too wide for its area: elided it ends inside the area; cut, it stays inside the clip; text the
// glyph table does not hold (other scripts) still shows, inside the clip. With and without tiles.
TEST(CellTextPainter, LongAndForeignTextStaysInside) {
    const QRect area(20, 6, 60, 22);
    const QRect clip = area.adjusted(-4, 0, 4, 0);
    struct Case {
        const char* what;
        std::string text;
        bool elide;
        QRect inside;
    } cases[] = {
        {"elided", std::string(40, 'W'), true, area},
        {"cut", std::string(40, 'W'), false, clip},
        {"foreign", "发动机转速发动机转速发动机转速", false, clip},
        {"foreign, elided", "发动机转速发动机转速发动机转速", true, clip},
    };
    CCellTextPainter painter;
    for (const Case& c : cases) {
        for (bool tiles : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (tiles ? ", tiles" : ""));
            const QImage image = paint([&](QPainter& p) {
                p.fillRect(clip, Qt::white);
                p.setPen(Qt::black);
                painter.Draw(p, area, clip, Qt::AlignHCenter, std::string_view(c.text), c.elide,
                             tiles ? QColor(Qt::white) : QColor());
            });
            EXPECT_TRUE(untouchedOutside(image, clip));
            const Ink ink = inkWhere(image, isBlackInk);
            ASSERT_GT(ink.count, 10);
            EXPECT_GE(ink.left, c.inside.left());
            EXPECT_LE(ink.right, c.inside.right());
        }
    }
}
