#include "windows/reportlist.h"

#include <QHeaderView>
#include <QTableView>

#include "windows/fonts.h"

namespace vex {

void SetupReportList(QTableView& view, bool singleSelection) {
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    if (singleSelection) view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setShowGrid(true);
    view.setWordWrap(false);
    view.setFont(ListFont());
    view.horizontalHeader()->setFont(ListFont());
    view.horizontalHeader()->setHighlightSections(false);
    view.horizontalHeader()->setStretchLastSection(false);
    view.verticalHeader()->setVisible(false);
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setMinimumSectionSize(kReportRowHeight);
    view.verticalHeader()->setDefaultSectionSize(kReportRowHeight);
    view.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

}  // namespace vex
