#include "windows/listcellpaint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

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

Qt::Alignment horizontalOf(Qt::Alignment align) {
    if (align & Qt::AlignHCenter) return Qt::AlignHCenter;
    if (align & Qt::AlignRight) return Qt::AlignRight;
    return Qt::AlignLeft;
}

Qt::Alignment headerAlignment(const QModelIndex& index) {
    const QVariant value = index.model()->headerData(index.column(), Qt::Horizontal, Qt::TextAlignmentRole);
    return horizontalOf(Qt::Alignment(value.toInt()) & Qt::AlignHorizontal_Mask);
}

QString toQString(const char* utf8, size_t length) {
    return QString::fromUtf8(utf8, static_cast<qsizetype>(length));
}

QString toQString(const QChar* text, size_t length) {
    return QString(text, static_cast<qsizetype>(length));
}

// Code units of the two text types as unsigned numbers.
inline unsigned unitOf(char c) {
    return static_cast<unsigned char>(c);
}
inline unsigned unitOf(QChar c) {
    return c.unicode();
}

// The painter that DrawListSubItem uses. The application object owns it, so its fonts are let go with
// the application rather than among the program's static objects at exit.
class SharedTextPainter : public QObject {
public:
    using QObject::QObject;
    CCellTextPainter painter;

    static CCellTextPainter& Get() {
        static QPointer<SharedTextPainter> shared;
        if (shared.isNull()) shared = new SharedTextPainter(QCoreApplication::instance());
        return shared->painter;
    }
};

}  // namespace

// ---- single-line cell text ----

namespace {

constexpr int kFirstChar = 0x20;  // printable ASCII: 0x20 to 0x7E
constexpr int kCharCount = 0x7F - kFirstChar;
constexpr int kEllipsisCell = kCharCount;  // tile cells: the printable characters, then the ellipsis
constexpr int kCells = kCharCount + 1;
constexpr int kQuarters = 4;  // glyph offsets within a pixel that get tiles of their own

// A position in 1/64 pixel, cut as the painter cuts glyph positions.
inline int fixed64(qreal v) {
    return static_cast<int>(v * 64);
}

// Distance between two colours, channel by channel.
inline int colourDistance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

}  // namespace

struct CCellTextPainter::Face {
    uint64_t serial = 0;  // 0: slot not built
    QFont font;
    QRawFont raw;
    bool valid = false;       // the table can be used
    quint32 glyph[128] = {};  // 0: no glyph
    qreal advance[128] = {};
    quint32 ellipsis = 0;  // U+2026, or 0 when the face has none ("..." instead)
    qreal ellipsisAdvance = 0;
    qreal ascent = 0, descent = 0;
    // Tile geometry: one cell per character, the glyph's origin `pad` pixels in from the cell's left
    // and on row `baseline`; false when a glyph did not fit its cell.
    int tileWidth = 0, tileHeight = 0, pad = 0, baseline = 0;
    bool tilesFit = true;
};

struct CCellTextPainter::Tiles {
    uint64_t face = 0;  // the face's serial; 0: unused
    QRgb text = 0, background = 0;
    int quarter = 0;
    bool antialias = true;
    uint64_t used = 0;
    QImage strip;       // kCells cells side by side
    QRect ink[kCells];  // the pixels of each glyph that differ from the background, in its cell
};

CCellTextPainter::CCellTextPainter()
    : m_faces(std::make_unique<Face[]>(kFaces)), m_tiles(std::make_unique<Tiles[]>(kTileSets)) {}

CCellTextPainter::~CCellTextPainter() = default;

CCellTextPainter::Face& CCellTextPainter::face(const QFont& font) {
    for (int i = 0; i < kFaces; ++i) {
        if (m_faces[i].serial != 0 && m_faces[i].font == font) return m_faces[i];
    }
    Face& f = m_faces[m_nextFace];
    m_nextFace = (m_nextFace + 1) % kFaces;
    f = Face{};
    f.serial = ++m_serial;
    f.font = font;
    // Grey-scale antialiasing: the same glyph images on widgets and in tiles.
    QFont grey = font;
    grey.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoSubpixelAntialias));
    f.raw = QRawFont::fromFont(grey);
    if (!f.raw.isValid()) return f;
    QString chars;
    for (char16_t c = kFirstChar; c < kFirstChar + kCharCount; ++c) chars.append(QChar(c));
    chars.append(QChar(0x2026));
    const QList<quint32> glyphs = f.raw.glyphIndexesForString(chars);
    if (glyphs.size() != chars.size()) return f;
    const QList<QPointF> advances = f.raw.advancesForGlyphIndexes(glyphs);
    qreal widest = 0;
    for (int i = 0; i < kCharCount; ++i) {
        f.glyph[kFirstChar + i] = glyphs[i];
        f.advance[kFirstChar + i] = advances[i].x();
        widest = std::max(widest, advances[i].x());
    }
    if (f.raw.supportsCharacter(QChar(0x2026))) {
        f.ellipsis = glyphs.back();
        f.ellipsisAdvance = advances.back().x();
    }
    f.ascent = f.raw.ascent();
    f.descent = f.raw.descent();
    const int size = static_cast<int>(std::ceil(f.ascent + f.descent));
    f.pad = 2 + size / 2;
    f.tileWidth = static_cast<int>(std::ceil(widest)) + 2 * f.pad;
    f.baseline = f.pad + static_cast<int>(std::ceil(f.ascent));
    f.tileHeight = size + 2 * f.pad;
    f.valid = true;
    return f;
}

const CCellTextPainter::Tiles* CCellTextPainter::tiles(Face& f, QRgb text, QRgb background, int quarter,
                                                       bool antialias) {
    Tiles* oldest = &m_tiles[0];
    for (int i = 0; i < kTileSets; ++i) {
        Tiles& t = m_tiles[i];
        if (t.face == f.serial && t.text == text && t.background == background && t.quarter == quarter &&
            t.antialias == antialias) {
            t.used = ++m_uses;
            return &t;
        }
        if (t.used < oldest->used) oldest = &t;
    }
    // Every printable glyph drawn once, on the background, at the quarter-pixel offset.
    Tiles& t = *oldest;
    t.face = f.serial;
    t.text = text;
    t.background = background;
    t.quarter = quarter;
    t.antialias = antialias;
    t.used = ++m_uses;
    t.strip = QImage(kCells * f.tileWidth, f.tileHeight, QImage::Format_RGB32);
    t.strip.fill(background);
    quint32 glyphs[kCells];
    QPointF positions[kCells];
    int drawn = 0;
    for (int i = 0; i < kCells; ++i) {
        const quint32 glyph = i == kEllipsisCell ? f.ellipsis : f.glyph[kFirstChar + i];
        if (glyph == 0) continue;
        glyphs[drawn] = glyph;
        positions[drawn++] = QPointF(i * f.tileWidth + f.pad + quarter / qreal(kQuarters), f.baseline);
    }
    {
        QPainter p(&t.strip);
        p.setRenderHint(QPainter::TextAntialiasing, antialias);
        p.setPen(QColor::fromRgb(text));
        QGlyphRun run;
        run.setRawFont(f.raw);
        run.setRawData(glyphs, positions, drawn);
        p.drawGlyphRun(QPointF(), run);
    }
    bool fit = true;
    for (int i = 0; i < kCells; ++i) {
        int left = f.tileWidth, right = -1, top = f.tileHeight, bottom = -1;
        for (int y = 0; y < f.tileHeight; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(t.strip.constScanLine(y)) + i * f.tileWidth;
            for (int x = 0; x < f.tileWidth; ++x) {
                if ((line[x] | 0xFF000000u) == (background | 0xFF000000u)) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        t.ink[i] = right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
        if (right >= 0 && (left == 0 || top == 0 || right == f.tileWidth - 1 || bottom == f.tileHeight - 1))
            fit = false;
    }
    if (!fit) {
        // A glyph reaches past its cell: this face is drawn glyph by glyph instead.
        f.tilesFit = false;
        t.face = 0;
        return nullptr;
    }
    return &t;
}

template <class Char>
bool CCellTextPainter::placeGlyphs(const Face& f, const Char* text, size_t length, qreal& width) {
    if (length > static_cast<size_t>(kMaxFastChars)) return false;
    width = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned c = unitOf(text[i]);
        if (c >= 128 || f.glyph[c] == 0) return false;
        m_glyphs[i] = f.glyph[c];
        m_cells[i] = static_cast<int16_t>(c - kFirstChar);
        m_advances[i] = f.advance[c];
        width += f.advance[c];
    }
    return true;
}

bool CCellTextPainter::composite(QPainter& painter, Face& f, int count, const QRect& clip, int baseline,
                                 const QColor& background) {
    // Only where copied pixels are what the painter would have blended: one device pixel per pixel, no
    // rotation or scaling, plain source-over painting in an opaque solid colour.
    const QPen& pen = painter.pen();
    if (!f.tilesFit || !background.isValid() || background.alpha() != 255 || pen.style() == Qt::NoPen ||
        pen.brush().style() != Qt::SolidPattern || pen.color().alpha() != 255 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver || painter.opacity() != 1.0 ||
        painter.device() == nullptr || painter.device()->devicePixelRatio() != 1.0)
        return false;
    const QTransform transform = painter.combinedTransform();
    if (transform.type() > QTransform::TxTranslate || transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy()))
        return false;
    const QRgb text = pen.color().rgb(), back = background.rgb();
    const bool antialias = painter.testRenderHint(QPainter::TextAntialiasing);

    // Where each glyph's cell lands, and the box of all the ink within the clip.
    struct Placed {
        const Tiles* tiles;
        int cell, x, y;  // the cell's top-left on the painter
    };
    Placed placed[kMaxFastChars + 3];
    const Tiles* byQuarter[kQuarters] = {};
    QRect box;
    for (int i = 0; i < count; ++i) {
        // The painter's choice of offset: the fraction plus 1/64, in quarters; four quarters are the
        // next whole pixel.
        const int fx = fixed64(m_positions[i].x());
        int whole = fx >> 6;
        int quarter = ((fx & 63) + 1) * kQuarters / 64;
        if (quarter == kQuarters) {
            quarter = 0;
            ++whole;
        }
        const Tiles*& t = byQuarter[quarter];
        if (t == nullptr) t = tiles(f, text, back, quarter, antialias);
        if (t == nullptr) return false;
        const int cell = m_cells[i];
        placed[i] = {t, cell, whole - f.pad, baseline - f.baseline};
        const QRect& ink = t->ink[cell];
        if (!ink.isEmpty()) box |= ink.translated(placed[i].x, placed[i].y);
    }
    box &= clip;
    if (box.isEmpty()) return true;

    if (m_scratch.width() < box.width() || m_scratch.height() < box.height()) {
        m_scratch = QImage(std::max(box.width(), m_scratch.width()),
                           std::max(box.height(), m_scratch.height()), QImage::Format_RGB32);
    }
    // Both images are RGB32: every pixel carries an opaque alpha byte.
    const QRgb opaqueBack = back | 0xFF000000u;
    uchar* const scratch = m_scratch.bits();
    const qsizetype scratchStride = m_scratch.bytesPerLine();
    for (int y = 0; y < box.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(scratch + y * scratchStride);
        std::fill(line, line + box.width(), opaqueBack);
    }
    int reached = box.left() - 1;  // the rightmost column that earlier glyphs marked
    for (int i = 0; i < count; ++i) {
        const Placed& g = placed[i];
        const QRect ink = g.tiles->ink[g.cell].translated(g.x, g.y) & box;
        if (ink.isEmpty()) continue;
        const uchar* const strip = g.tiles->strip.constBits();
        const qsizetype stripStride = g.tiles->strip.bytesPerLine();
        const int cellLeft = g.cell * f.tileWidth;
        // Clear of the glyphs before it, a glyph's box is copied as it is; over them, pixel by pixel.
        const bool clear = ink.left() > reached;
        reached = std::max(reached, ink.right());
        for (int y = ink.top(); y <= ink.bottom(); ++y) {
            const QRgb* from =
                reinterpret_cast<const QRgb*>(strip + (y - g.y) * stripStride) + cellLeft - g.x + ink.left();
            QRgb* to =
                reinterpret_cast<QRgb*>(scratch + (y - box.top()) * scratchStride) + ink.left() - box.left();
            if (clear) {
                std::copy(from, from + ink.width(), to);
                continue;
            }
            for (int n = ink.width(); n > 0; --n, ++from, ++to) {
                const QRgb src = *from;
                if (src == opaqueBack) continue;
                if (*to == opaqueBack || colourDistance(src, text) < colourDistance(*to, text)) *to = src;
            }
        }
    }
    painter.drawImage(box.topLeft(), m_scratch, QRect(0, 0, box.width(), box.height()));
    return true;
}

constexpr unsigned char kDot = '.';

template <class Char>
void CCellTextPainter::draw(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align,
                            const Char* text, size_t length, bool elide, const QColor& background) {
    if (length == 0) return;
    Face& f = face(painter.font());
    qreal width = 0;
    if (!f.valid || !placeGlyphs(f, text, length, width)) {
        drawSlow(painter, area, clip, align, toQString(text, length), elide);
        return;
    }
    size_t count = length;
    const qreal room = area.width();
    if (elide && width > room) {
        // The longest start that leaves room for the ellipsis (three points where the face has none).
        const bool single = f.ellipsis != 0;
        if (!single && f.glyph[kDot] == 0) {
            drawSlow(painter, area, clip, align, toQString(text, length), elide);
            return;
        }
        const qreal tail = single ? f.ellipsisAdvance : 3 * f.advance[kDot];
        count = 0;
        width = 0;
        while (count < length && width + m_advances[count] + tail <= room) width += m_advances[count++];
        for (int i = 0; i < (single ? 1 : 3); ++i, ++count) {
            m_glyphs[count] = single ? f.ellipsis : f.glyph[kDot];
            m_cells[count] = static_cast<int16_t>(single ? kEllipsisCell : '.' - kFirstChar);
            m_advances[count] = single ? f.ellipsisAdvance : f.advance[kDot];
        }
        width += tail;
    }
    qreal x = area.left();
    const Qt::Alignment horizontal = horizontalOf(align);
    if (horizontal == Qt::AlignHCenter)
        x += (room - width) / 2;
    else if (horizontal == Qt::AlignRight)
        x += room - width;
    // A whole-pixel baseline: glyphs are drawn on whole rows either way.
    const int baseline =
        static_cast<int>(std::lround(area.top() + (area.height() - (f.ascent + f.descent)) / 2 + f.ascent));
    const qreal left = x;
    for (size_t i = 0; i < count; ++i) {
        m_positions[i] = QPointF(x, baseline);
        x += m_advances[i];
    }
    if (composite(painter, f, static_cast<int>(count), clip, baseline, background)) return;
    m_run.setRawFont(f.raw);
    m_run.setRawData(m_glyphs, m_positions, static_cast<int>(count));
    // Glyphs may reach a little past their advances: text that keeps two pixels from the clip's sides
    // needs no clipping.
    constexpr qreal kInk = 2;
    const bool inside = left - kInk >= clip.left() && x + kInk <= clip.left() + clip.width() &&
                        baseline - f.ascent >= clip.top() &&
                        baseline + f.descent <= clip.top() + clip.height();
    if (inside) {
        painter.drawGlyphRun(QPointF(), m_run);
        return;
    }
    painter.save();
    painter.setClipRect(clip, Qt::IntersectClip);
    painter.drawGlyphRun(QPointF(), m_run);
    painter.restore();
}

void CCellTextPainter::drawSlow(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align,
                                const QString& text, bool elide) {
    painter.save();
    painter.setClipRect(clip, Qt::IntersectClip);
    painter.setBackgroundMode(Qt::TransparentMode);
    const int flags = Qt::TextSingleLine | Qt::AlignVCenter | horizontalOf(align);
    if (elide) {
        const QFontMetrics metrics(painter.font());
        painter.drawText(area, flags, metrics.elidedText(text, Qt::ElideRight, area.width()));
    } else {
        painter.drawText(area, flags, text);
    }
    painter.restore();
}

void CCellTextPainter::Draw(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align,
                            std::string_view utf8, bool elide, const QColor& background) {
    draw(painter, area, clip, align, utf8.data(), utf8.size(), elide, background);
}

void CCellTextPainter::Draw(QPainter& painter, const QRect& area, const QRect& clip, Qt::Alignment align,
                            QStringView text, bool elide, const QColor& background) {
    draw(painter, area, clip, align, text.data(), static_cast<size_t>(text.size()), elide, background);
}

// ---- list cells ----

void DrawListSubItem(QPainter& painter, const QRect& rect, const QModelIndex& index, uint32_t textColour,
                     uint32_t background, bool marker) {
    painter.fillRect(rect, vex::ColorFromRef(background));
    if (!index.isValid()) return;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;

    const Qt::Alignment align = headerAlignment(index);
    QRect area = rect;
    if (index.column() == 0) area.setLeft(area.left() + 4);

    if (marker) {
        // The marker stands right before the text; the two are placed as one line.
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        painter.setBackgroundMode(Qt::TransparentMode);
        const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
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
        painter.restore();
        return;
    }
    const QPen pen = painter.pen();
    painter.setPen(vex::ColorFromRef(textColour));
    SharedTextPainter::Get().Draw(painter, area, rect, align, QStringView(text), false,
                                  vex::ColorFromRef(background));
    painter.setPen(pen);
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
