#include "windows/listcellpaint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <algorithm>

namespace vex {

QColor ColorFromRef(uint32_t colorRef) {
    return QColor(static_cast<int>(colorRef & 0xFFu), static_cast<int>((colorRef >> 8) & 0xFFu),
                  static_cast<int>((colorRef >> 16) & 0xFFu));
}

}  // namespace vex

namespace {

const QStyle* styleOf(const QWidget* widget) {
    return widget ? widget->style() : QApplication::style();
}

Qt::Alignment headerAlignment(const QModelIndex& index) {
    const QVariant value = index.model()->headerData(index.column(), Qt::Horizontal, Qt::TextAlignmentRole);
    const Qt::Alignment horizontal = Qt::Alignment(value.toInt()) & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignHCenter) return Qt::AlignHCenter;
    if (horizontal & Qt::AlignRight) return Qt::AlignRight;
    return Qt::AlignLeft;
}

}  // namespace

void DrawListSubItem(QPainter& painter, const QRect& rect, const QModelIndex& index, uint32_t textColour,
                     uint32_t background, bool marker) {
    painter.fillRect(rect, vex::ColorFromRef(background));
    if (!index.isValid()) return;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;

    const Qt::Alignment align = headerAlignment(index);
    QRect area = rect;
    if (index.column() == 0) area.setLeft(area.left() + 4);

    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setBackgroundMode(Qt::TransparentMode);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    if (marker) {
        // The marker stands right before the text; the two are placed as one line.
        static const QString kMarker = QStringLiteral(">> ");
        const QFontMetrics metrics(painter.font());
        const int markerWidth = metrics.horizontalAdvance(kMarker);
        const int width = markerWidth + metrics.horizontalAdvance(text);
        int left = area.left();
        if (align == Qt::AlignHCenter)
            left += (area.width() - width) / 2;
        else if (align == Qt::AlignRight)
            left = area.right() + 1 - width;
        const QRect markerRect(left, area.top(), markerWidth, area.height());
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(markerRect, flags | Qt::AlignLeft | Qt::TextDontClip, kMarker);
        area = QRect(left + markerWidth, area.top(), width - markerWidth, area.height());
        painter.setPen(vex::ColorFromRef(textColour));
        painter.drawText(area, flags | Qt::AlignLeft | Qt::TextDontClip, text);
    } else {
        painter.setPen(vex::ColorFromRef(textColour));
        painter.drawText(area, flags | align, text);
    }
    painter.restore();
}

void DrawListCheckCell(QPainter& painter, const QRect& rect, bool value, const QWidget* widget) {
    const int vertical = value ? 2 : 1;
    const QRect inner = rect.adjusted(2, vertical, -2, -vertical);
    if (inner.isEmpty()) return;
    const QStyle* style = styleOf(widget);
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
    const int side = std::min({inner.width(), inner.height(), std::max(indicator, 1)});
    QStyleOptionButton option;
    option.rect = QRect(0, 0, side, side);
    option.rect.moveCenter(inner.center());
    option.state = QStyle::State_Enabled | (value ? QStyle::State_On : QStyle::State_Off);
    painter.save();
    painter.setClipRect(inner, Qt::IntersectClip);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, widget);
    painter.restore();
}

void DrawListButtonCell(QPainter& painter, const QRect& rect, bool value, const QWidget* widget) {
    const QRect inner = rect.adjusted(2, 1, -2, -1);
    if (inner.isEmpty()) return;
    painter.save();
    painter.setClipRect(inner, Qt::IntersectClip);
    QStyleOptionButton option;
    option.rect = inner;
    option.state = QStyle::State_Enabled | (value ? QStyle::State_Sunken : QStyle::State_Raised);
    styleOf(widget)->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, widget);

    static const QString kLabel = QStringLiteral("now");
    const QFontMetrics metrics(painter.font());
    const int textWidth = metrics.horizontalAdvance(kLabel);
    const int left = std::max(inner.left(), inner.left() + inner.width() / 2 - textWidth / 2);
    const int top = inner.top() + 3;
    const int height = std::min(metrics.height(), inner.bottom() + 1 - top);
    QRect label(left, top + (inner.bottom() + 1 - top - height) / 2, textWidth, height);
    // The label never covers the button's frame, whatever the font's line height.
    const int frame = styleOf(widget)->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
    painter.setClipRect(inner.adjusted(frame, frame, -frame, -frame), Qt::IntersectClip);
    painter.fillRect(label, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, kLabel);
    painter.restore();
}
