#pragma once
// Cell texts of the trace window: the list's and the tree's columns of one trace row, and the signal
// rows of the tree, as the trace settings ask for them. Numbers never depend on the locale.
//
// The Form... functions write a cell's text into a CellText, which keeps texts up to its inline size
// without touching the heap, so a view can form every cell it paints; the ...Text functions give the
// same texts as QString.
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

#include "app/hubstores.h"
#include "config/cfgrecords.h"

namespace trace {

// The sixteen columns that the list and the tree share.
enum Column : int { kName, kId, kIdType, kFrameType, kTime, kDir, kChan, kLen, kData0, kColumnCount = 16 };

// Title, initial width and text alignment of a column (column 0 left, the others centred);
// 0 <= column < kColumnCount.
QString ColumnTitle(int column);
int ColumnWidth(int column);
Qt::Alignment ColumnAlignment(int column);

// One cell's UTF-8 text. Texts longer than the inline buffer move to a string that keeps its capacity,
// so a CellText reused from cell to cell stops allocating once it has seen the longest text.
class CellText {
public:
    static constexpr size_t kInline = 160;

    CellText() = default;
    CellText(const CellText&) = delete;
    CellText& operator=(const CellText&) = delete;

    std::string_view View() const {
        return m_long ? std::string_view(m_spill) : std::string_view(m_buf, m_len);
    }
    bool Empty() const { return View().empty(); }
    void Clear() {
        m_len = 0;
        m_long = false;
    }
    void Append(std::string_view text);
    void AppendUnsigned(uint32_t value);
    void AppendSigned(int32_t value);
    // Upper-case hexadecimal digits, at least `width` of them.
    void AppendHex(uint32_t value, int width = 0);
    // "%.<decimals>f".
    void AppendFixed(double value, int decimals);
    // A string whose capacity is kept, for callers that produce std::string texts.
    std::string& Scratch() { return m_scratch; }

private:
    char m_buf[kInline];
    size_t m_len = 0;
    bool m_long = false;
    std::string m_spill;
    std::string m_scratch;
};

// A list cell: sequence number and name (when "OnLine"), identifier, "Extended"/"Standard",
// "Remote"/"Data", time (delta or stamp) with three decimals, "Tx"/"Rx", channel, length, data bytes
// ("--" at and beyond the length).
void FormListCell(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings, CellText& out);
QString ListText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings);

// A message row of the tree: as the list, with the tree's own words ("ext", "rmt", "tx" ...), a
// standard identifier as three hex digits, the name without the sequence number, and the time as "%f"
// without trailing zeros.
void FormTreeCell(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings, CellText& out);
QString TreeText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings);

// A signal row of the tree, decoded from the frame's data: column 0 the name, 1 the raw value, 2 the
// physical value or value-table text, 3 the unit; "--" where the codec cannot form a value; other
// columns empty.
void FormSignalCell(const CCanSignal& signal, const uint8_t (&data)[8], int column, bool numHex,
                    CellText& out);
QString SignalText(const CCanSignal& signal, const uint8_t (&data)[8], int column, bool numHex);

}  // namespace trace
