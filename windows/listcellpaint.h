#pragma once
// Cell painters of the send and queue-transmit lists, called from their delegates' paint(). They draw
// with the painter's current font and never outside the cell rectangle.
#include <QColor>
#include <QModelIndex>
#include <QRect>

#include <cstdint>

class QPainter;
class QWidget;

namespace vex {

// A colour value of the program (0x00BBGGRR, red in the low byte) as a QColor.
QColor ColorFromRef(uint32_t colorRef);

}  // namespace vex

// One cell: fills `rect` with `background`; when the cell's text (DisplayRole of `index`) is not empty,
// draws it on one line, vertically centred, in `textColour`, aligned left, centred or right as the header
// of its column (the model's horizontal header TextAlignmentRole; left when it gives none), starting
// 4 pixels in from the left edge in column 0. With `marker` the text is preceded by ">> " in pure red;
// marker and text are aligned together as one line. Colours are 0x00BBGGRR.
void DrawListSubItem(QPainter& painter, const QRect& rect, const QModelIndex& index, uint32_t textColour,
                     uint32_t background, bool marker);

// A check box inside the cell, 2 pixels in from the left and right (and 2 pixels from the top and bottom
// when ticked, 1 when not), ticked when `value` is set. `widget` (optional) gives the style.
void DrawListCheckCell(QPainter& painter, const QRect& rect, bool value, const QWidget* widget = nullptr);

// A push button labelled "now" inside the cell (2 pixels in from the left and right, 1 from the top and
// bottom), pressed when `value` is set; the label is black on white, horizontally centred (never left of
// the button) and vertically centred below a 3-pixel top margin.
void DrawListButtonCell(QPainter& painter, const QRect& rect, bool value, const QWidget* widget = nullptr);
