#pragma once
// The look every report-style list of the program shares: whole rows selected one at a time, grid
// lines, 22-pixel rows, the list font on the rows and the header, no row numbers.
class QTableView;

namespace vex {

constexpr int kReportRowHeight = 22;

// Applies the shared look; `singleSelection` false leaves the selection to the caller.
void SetupReportList(QTableView& view, bool singleSelection = true);

}  // namespace vex
