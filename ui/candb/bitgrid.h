#pragma once
// The message editor's 8 x 8 grid of data bits: bit 7 at the left, byte 0 at the top, a header row and
// column. Each signal is a coloured run of cells with its name and a red line from its least significant
// bit (circle) to its most significant bit (arrow head); overlapping bits are drawn in one warning colour.
// Pressing on a signal selects it; dragging it by whole cells moves its start bit (MovedStartBit), and a
// move that would leave the 64 bits is ignored. Hovering shows the name of the signal under the pointer
// while none is selected.
#include <QWidget>

#include "candb/canmodel.h"
#include "ui/candb/bitcells.h"

class QLabel;

class CMsgBitGrid : public QWidget {
    Q_OBJECT
public:
    // `msg` is the message being edited; it must outlive the grid.
    CMsgBitGrid(CCanMsg& msg, QWidget* parent = nullptr);

    int32_t SelSignal() const { return m_selSignal; }
    // Selects a signal (-1: none) and rebuilds the cells.
    void SetSelSignal(int32_t index);
    // Rebuilds the cells from the message and repaints.
    void Rebuild();
    const candbui::BitCells& Cells() const { return m_cells; }

    // The cell (byte * 8 + bit) under a point, -1 outside the 64 cells; the rectangle of a cell.
    int CellAt(const QPoint& pos) const;
    QRect CellRect(int cell) const;
    QLabel* tipLabel() const { return m_tip; }

    QSize sizeHint() const override { return {450, 300}; }

signals:
    // A press selected the signal.
    void signalPressed(int index);
    // A drag moved the signal's start bit.
    void signalMoved(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int cellW() const { return width() / 9; }
    int cellH() const { return height() / 9; }
    QRect gridRect(int column, int row) const;
    void updateTip(const QPoint& pos);

    CCanMsg& m_msg;
    candbui::BitCells m_cells{};
    int32_t m_selSignal = -1;
    QPoint m_drag;
    QLabel* m_tip;
};
