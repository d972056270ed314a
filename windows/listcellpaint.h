#pragma once
// Cell painters of the trace, send and queue-transmit lists, called from their views' and delegates'
// paint code. They draw with the painter's current font and never outside the cell rectangle.
#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QModelIndex>
#include <QRawFont>
#include <QRect>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <string_view>

class QPainter;
class QWidget;

namespace vex {

// A colour value of the program (0x00BBGGRR, red in the low byte) as a QColor.
QColor ColorFromRef(uint32_t colorRef);

}  // namespace vex

// Single-line cell text drawn without a text layout. Text of printable ASCII characters that the
// font's primary face has glyphs for is placed from a table of glyphs and advances built once per
// font: no shaping, no line breaking, no heap allocation. Any other text (other scripts, control
// characters, very long text) goes through QPainter::drawText, so every text still shows.
//
// When the caller names the (opaque) background under the text, the glyphs' finished pixels are
// copied instead of blended: each glyph is drawn by QPainter once per text colour, background colour
// and quarter-pixel offset into a tile, and a text is put together from its glyphs' tiles and drawn as
// one image. Where two glyphs overlap, the pixel nearer the text colour wins.
//
// The fast paths draw with the font's grey-scale antialiasing (no sub-pixel colour fringes), so that
// tiles and directly drawn glyphs look the same on every surface. The font is the painter's current
// font, the colour its pen. GUI thread only.
class CCellTextPainter {
public:
    static constexpr int kMaxFastChars = 256;

    CCellTextPainter();
    ~CCellTextPainter();
    CCellTextPainter(const CCellTextPainter&) = delete;
    CCellTextPainter& operator=(const CCellTextPainter&) = delete;

    // Draws `text` on one line in `area`, vertically centred and horizontally placed by the horizontal
    // part of `align` (left when it names none). Text wider than `area` ends in an ellipsis when
    // `elide` is set. Nothing is drawn outside `clip`. `background`, when valid, is the colour the
    // caller filled `clip` with.
    void Draw(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align,
              std::string_view utf8, bool elide = false, const QColor& background = QColor());
    void Draw(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align, QStringView text,
              bool elide = false, const QColor& background = QColor());

private:
    struct Face;
    struct Tiles;

    Face& face(const QFont& font);
    const Tiles* tiles(Face& f, QRgb text, QRgb background, int quarter, bool antialias);
    template <class Char>
    bool placeGlyphs(const Face& f, const Char* text, size_t length, qreal& width);
    template <class Char>
    void draw(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align, const Char* text,
              size_t length, bool elide, const QColor& background);
    bool composite(QPainter& painter, Face& f, int count, const QRect& clip, int baseline,
                   const QColor& background);
    void drawSlow(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align,
                  const QString& text, bool elide);

    static constexpr int kFaces = 4;
    static constexpr int kTileSets = 24;

    std::unique_ptr<Face[]> m_faces;
    std::unique_ptr<Tiles[]> m_tiles;
    int m_nextFace = 0;
    uint64_t m_serial = 0;  // numbers faces as they are built
    uint64_t m_uses = 0;    // orders tile sets by their last use
    QGlyphRun m_run;
    quint32 m_glyphs[kMaxFastChars + 3];
    int16_t m_cells[kMaxFastChars + 3];  // each glyph's tile cell
    QPointF m_positions[kMaxFastChars + 3];
    qreal m_advances[kMaxFastChars + 3];
    QImage m_scratch;
};

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
