#pragma once
// A curve's samples summarised per pixel column, so that drawing costs what the pixels cost, not what the
// samples cost. Per column of the time grid: the rows of its first, last, lowest and highest drawn sample,
// the rows its markers stand on, and where its samples lie in the ring. Per pixel column: the rows the
// curve sets there (its span, the pieces of the lines through it, the markers reaching into it), worked
// out once and kept, as bits, until something they depend on changes.
//
// Update brings a summary up to date: samples pushed since the last update are folded into their columns,
// columns whose samples left the ring are summarised again, and columns that scrolled in are summarised
// from the ring; only pixel columns near a change are worked out again. A change of the ring's contents,
// the grid's scale or phase, the value map or the gap threshold starts over. The pixels drawn are those
// of drawing every segment and marker (DrawCurveEverySegment) with the same geometry.
//
// Size: 32 bytes per grid column for the samples and 18 for the pixel rows, for a power of two of columns
// at least as wide as the image: 100 KB per curve at 1920 pixels.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "windows/plot/plotraster.h"

class CGraphSampleRing;

namespace plot {

class ColumnSummary {
public:
    // The pixel columns fromX up to toX (exclusive), as grid columns (x = left + column - first), of the
    // ring drawn with geometry g: samples are summarised from one column left of them to two right (their
    // markers reach that far), with the drawn samples just outside for the lines that cross. A ring whose
    // times go back cannot be summarised: Usable() turns false and the curve must be walked.
    void Update(const CGraphSampleRing& ring, const CurveGeometry& g, int32_t pointType, int32_t height,
                int64_t fromX, int64_t toX);
    bool Usable() const { return m_valid; }
    // Draws the buffer's columns that the last update covered, through the buffer's cover when it has
    // one; `rows` is scratch. Threads may draw different columns of one summary at once.
    void Draw(PixelBuffer& buf, uint32_t pixel, RowList& rows) const;
    // Asks the processor to fetch what drawing the buffer's columns will read.
    void Prefetch(const PixelBuffer& buf) const;
    // Frees the storage.
    void Release();
    size_t Bytes() const;

private:
    // One grid column's drawn samples.
    struct SampleColumn {
        int32_t firstY, lastY, lowY, highY;
        uint64_t rows;      // bit b: a sample on row lowY - 2 + b (b = 2..61), unless kSpill
        uint32_t firstSeq;  // low 32 bits of the first sample's sequence number
        uint16_t span;      // sequence numbers from the first to the last sample
        uint8_t flags;
    };
    static constexpr uint8_t kGapBefore = 1;  // the line to the first sample is dotted
    static constexpr uint8_t kBroken = 2;     // a gap between two of its samples: walked when drawn
    static constexpr uint8_t kSpill = 4;      // its samples' rows span more than the mask: walked
    // The rows a pixel column sets, as bits of two neighbouring 64-row words: word w's bits in mask[0],
    // word w + 1's in mask[1] (most columns span at most two). A word below 0 marks a column not worked
    // out (kInvalid), a taller one kept as up to four runs of rows in the masks' bytes (kRuns), one with
    // more, worked out whenever it is drawn (kComputed), and one without pixels (kNone).
    static constexpr int16_t kInvalid = -1;
    static constexpr int16_t kComputed = -2;
    static constexpr int16_t kNone = -3;
    static constexpr int16_t kRuns = -4;
    struct Masks {
        uint64_t bits[2];
    };
    void invalidate(int64_t column) {
        m_word[slot(column)] = kInvalid;
        m_dirtyLo = std::min(m_dirtyLo, column);
        m_dirtyHi = std::max(m_dirtyHi, column);
    }
    // A drawn sample a line starts or ends at: in a column held, or just outside them (the head before,
    // the tail after).
    struct Point {
        bool on = false;
        int64_t column = 0;
        int32_t y = 0;
        bool gap = false;  // the line to it is dotted
    };

    size_t slot(int64_t column) const { return static_cast<size_t>(column) & (m_cap - 1); }
    bool present(int64_t column) const {
        const size_t s = slot(column);
        return (m_present[s >> 6] >> (s & 63) & 1) != 0;
    }
    bool held(int64_t column) const { return column >= m_lo && column < m_hi; }
    void setPresent(int64_t column, bool on);
    // The first present column in [from, to), or to.
    int64_t nextPresent(int64_t from, int64_t to) const;
    // The last present column in [from, to), or from - 1.
    int64_t prevPresent(int64_t from, int64_t to) const;

    void reset(size_t columns);
    void evict(const CGraphSampleRing& ring);
    // Folds ring samples from index i on that lie in columns [from, to) into their columns, and with
    // `invalidate` marks the pixel columns that depend on the columns changed.
    void foldFrom(const CGraphSampleRing& ring, int32_t i, int64_t from, int64_t to, bool invalidate = true);
    void summarise(const CGraphSampleRing& ring, int64_t from, int64_t to);
    void moveTo(const CGraphSampleRing& ring, int64_t lo, int64_t hi);
    void findEnds(const CGraphSampleRing& ring);
    // Pixel columns that may depend on columns [from, to] must be worked out again.
    void invalidateAround(int64_t from, int64_t to);
    void fillPixels(int64_t fromX, int64_t toX);

    // Paints the kept rows of n neighbouring pixel columns (a column of the image per entry) through
    // their cover bits, or straight without a cover; the entries without kept rows go to `later` as their
    // offsets, their number returned.
    static size_t paintKept(const int16_t* word, const Masks* masks, size_t n, uint32_t* column,
                            int64_t stride, uint64_t* cover, size_t words, uint32_t pixel, uint32_t* later);
    // The runs of rows this curve sets in pixel column X (a grid column), merged and clipped.
    void pixelRuns(int64_t column, RowList& rows) const;
    // Where the line into (out of) a column starts (ends): the last drawn sample before it, the first
    // after it.
    Point before(int64_t column) const;
    Point after(int64_t column) const;
    void addMarkers(int64_t sampleColumn, const MarkerShape::Column& mc, RowList& rows) const;
    // A column's drawn samples in ring order: each as (row, time).
    template <typename F>
    void walk(const SampleColumn& c, F&& f) const;
    int32_t ringIndex(uint32_t seq) const;
    int32_t firstIndexFrom(const CGraphSampleRing& ring, int64_t column) const;

    // What the columns were made from.
    const CGraphSampleRing* m_ring = nullptr;
    uint64_t m_epoch = 0;
    ColumnGrid m_grid;
    YMap m_y;
    double m_gap = 0.0;
    int32_t m_left = 0;
    // What the pixel runs were made from.
    int32_t m_pointType = -1;
    int32_t m_height = -1;
    MarkerShape m_marker;

    bool m_valid = false;
    size_t m_cap = 0;  // a power of two
    int64_t m_lo = 0;  // grid columns held: [m_lo, m_hi)
    int64_t m_hi = 0;
    uint64_t m_folded = 0;  // every sample below this sequence number has been seen
    uint64_t m_oldest = 0;  // the ring's oldest sequence number at the last update
    int64_t m_fromX = 0, m_toX = 0;
    // The pixel columns the last fill worked out (none when lo > hi), and those marked since.
    int64_t m_filledLo = 0, m_filledHi = -1;
    int64_t m_dirtyLo = INT64_MAX, m_dirtyHi = INT64_MIN;
    int64_t m_firstPresent = 0, m_lastPresent = -1;  // none when last < first
    Point m_head, m_tail;
    std::vector<SampleColumn> m_cols;
    std::vector<int16_t> m_word;
    std::vector<Masks> m_masks;
    std::vector<uint64_t> m_present;
    RowList m_scratch;
};

}  // namespace plot
