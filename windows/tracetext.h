#pragma once
// Cell texts of the trace window: the list's and the tree's columns of one trace row, and the signal
// rows of the tree, as the trace settings ask for them. Numbers never depend on the locale.
#include <QString>

#include <cstdint>

#include "app/hubstores.h"
#include "config/cfgrecords.h"

namespace trace {

// The sixteen columns that the list and the tree share.
enum Column : int { kName, kId, kIdType, kFrameType, kTime, kDir, kChan, kLen, kData0, kColumnCount = 16 };

// Title and initial width of a column; 0 <= column < kColumnCount.
QString ColumnTitle(int column);
int ColumnWidth(int column);

// A list cell: sequence number and name (when "OnLine"), identifier, "Extended"/"Standard",
// "Remote"/"Data", time (delta or stamp) with three decimals, "Tx"/"Rx", channel, length, data bytes
// ("--" at and beyond the length).
QString ListText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings);

// A message row of the tree: as the list, with the tree's own words ("ext", "rmt", "tx" ...), a
// standard identifier as three hex digits, the name without the sequence number, and the time as "%f"
// without trailing zeros.
QString TreeText(const tCAN_MSG_TRACE_DATA& row, int column, const tCFG_SET_TRACE& settings);

// A signal row of the tree, decoded from the frame's data: column 0 the name, 1 the raw value, 2 the
// physical value or value-table text, 3 the unit; "--" where the codec cannot form a value; other
// columns empty.
QString SignalText(const CCanSignal& signal, const uint8_t (&data)[8], int column, bool numHex);

}  // namespace trace
