#include "ui/candb/bitgrid.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "windows/listcellpaint.h"

using candbui::tMSG_BIT_CELL;

namespace {

QFont gridFont(int weight) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(16);
    f.setWeight(static_cast<QFont::Weight>(weight));
    return f;
}

void raisedEdge(QPainter& p, const QRect& r) {
    p.setPen(QColor(255, 255, 255));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QColor(160, 160, 160));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

CMsgBitGrid::CMsgBitGrid(CCanMsg& msg, QWidget* parent) : QWidget(parent), m_msg(msg) {
    setObjectName("bitGrid");
    setMouseTracking(true);
    setMinimumSize(270, 180);
    m_tip = new QLabel(QStringLiteral("text"), this);
    m_tip->setObjectName("tipLabel");
    m_tip->setFont(gridFont(400));
    m_tip->setAutoFillBackground(true);
    m_tip->hide();
    Rebuild();
}

void CMsgBitGrid::SetSelSignal(int32_t index) {
    m_selSignal = index;
    Rebuild();
}

void CMsgBitGrid::Rebuild() {
    if (m_selSignal >= static_cast<int32_t>(m_msg.Signals.size())) m_selSignal = -1;
    m_cells = candbui::BuildBitCells(m_msg, m_selSignal);
    update();
}

QRect CMsgBitGrid::gridRect(int column, int row) const {
    return {column * cellW(), row * cellH(), cellW(), cellH()};
}

QRect CMsgBitGrid::CellRect(int cell) const {
    return gridRect(8 - cell % 8, cell / 8 + 1);
}

int CMsgBitGrid::CellAt(const QPoint& pos) const {
    if (cellW() <= 0 || cellH() <= 0 || pos.x() < 0 || pos.y() < 0) return -1;
    const int column = pos.x() / cellW();
    const int row = pos.y() / cellH();
    if (column < 1 || column > 8 || row < 1 || row > 8) return -1;
    return (row - 1) * 8 + (8 - column);
}

void CMsgBitGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setFont(gridFont(500));
    const QColor header = vex::ColorFromRef(0xA0A0A0);
    auto headerCell = [&](const QRect& r, const QString& text) {
        p.fillRect(r, header);
        raisedEdge(p, r);
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, p.fontMetrics().elidedText(text, Qt::ElideRight, r.width()));
    };
    headerCell(gridRect(0, 0), QString());
    for (int i = 0; i < 8; ++i) headerCell(gridRect(8 - i, 0), QStringLiteral("bit%1").arg(i));
    for (int j = 0; j < 8; ++j) headerCell(gridRect(0, j + 1), QStringLiteral("byte%1").arg(j));

    for (int c = 0; c < 64; ++c) {
        const tMSG_BIT_CELL& cell = m_cells[static_cast<size_t>(c)];
        const QRect r = CellRect(c);
        const uint32_t fill = cell.State == 0 ? 0xFFFFFF : cell.State == 1 ? cell.Color : 0xCD5A6A;
        p.fillRect(r, vex::ColorFromRef(fill));
        raisedEdge(p, r);
        if (cell.Marked != 0) {
            p.setPen(QPen(vex::ColorFromRef(0x3C3C3C), 1, Qt::DotLine));
            p.drawLine(r.topLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomLeft());
        }
    }

    const QColor red = vex::ColorFromRef(0x0000FF);
    for (size_t i = 0; i < m_msg.Signals.size(); ++i) {
        const auto index = static_cast<int32_t>(i);
        // The name, in the first byte row that holds one of the signal's cells.
        for (int row = 0; row < 8; ++row) {
            int highBit = -1;
            int count = 0;
            for (int bit = 7; bit >= 0; --bit) {
                if (m_cells[static_cast<size_t>(row * 8 + bit)].SigIndex != index) continue;
                if (highBit < 0) highBit = bit;
                ++count;
            }
            if (count == 0) continue;
            const QRect first = CellRect(row * 8 + highBit);
            const QRect box(first.left() + 2, first.top() + 2, count * cellW() - 4, cellH() / 2);
            const QString name = p.fontMetrics().elidedText(QString::fromStdString(m_msg.Signals[i].Name),
                                                            Qt::ElideRight, box.width());
            // The text on the signal's colour, so it stays readable over an overlap.
            const QRect textBox = p.fontMetrics().boundingRect(box, Qt::AlignLeft | Qt::AlignVCenter, name);
            p.fillRect(textBox & box, vex::ColorFromRef(candbui::SignalColor(i)));
            p.setPen(Qt::black);
            p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, name);
            break;
        }
        for (int c = 0; c < 64; ++c) {
            const tMSG_BIT_CELL& cell = m_cells[static_cast<size_t>(c)];
            if (cell.SigIndex != index) continue;
            const QRect r = CellRect(c);
            const int y = r.bottom() - cellH() / 6;
            p.setPen(QPen(red, 1, Qt::DotLine));
            if (cell.EdgeKind == 0) {
                p.drawLine(r.left(), y, r.right() - 3, y);
                p.setPen(Qt::NoPen);
                p.setBrush(red);
                p.drawEllipse(QPoint(r.right() - 3, y), 3, 3);
                p.setBrush(Qt::NoBrush);
            } else if (cell.EdgeKind == 2) {
                p.drawLine(r.left(), y, r.right(), y);
            } else if (cell.EdgeKind == 1) {
                p.drawLine(r.left(), y, r.right(), y);
                QPainterPath head;
                head.moveTo(r.left(), y);
                head.lineTo(r.left() + 5, y - 6);
                head.lineTo(r.left() + 5, y + 5);
                head.closeSubpath();
                p.fillPath(head, red);
            }
        }
    }
}

void CMsgBitGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    const int cell = CellAt(pos);
    m_selSignal = cell < 0 ? -1 : m_cells[static_cast<size_t>(cell)].SigIndex;
    if (m_selSignal < 0) return;
    m_tip->hide();
    Rebuild();
    m_drag = pos;
    emit signalPressed(m_selSignal);
}

void CMsgBitGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    updateTip(pos);
    if (event->buttons() != Qt::LeftButton || m_selSignal < 0 || CellAt(pos) < 0) return;
    if (cellW() <= 0 || cellH() <= 0) return;
    const int dx = (pos.x() - m_drag.x()) / cellW();
    const int dy = (pos.y() - m_drag.y()) / cellH();
    if (dx == 0 && dy == 0) return;
    CCanSignal& s = m_msg.Signals[static_cast<size_t>(m_selSignal)];
    const bool moved = [&] {
        const std::optional<uint8_t> start = candbui::MovedStartBit(s, dx, dy);
        if (!start) return false;
        s.BitOffset = *start;
        return true;
    }();
    Rebuild();
    m_drag = pos;
    if (moved) emit signalMoved(m_selSignal);
}

void CMsgBitGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Rebuild();
}

void CMsgBitGrid::leaveEvent(QEvent*) {
    m_tip->hide();
}

void CMsgBitGrid::updateTip(const QPoint& pos) {
    const int cell = CellAt(pos);
    const int32_t owner = cell < 0 ? -1 : m_cells[static_cast<size_t>(cell)].SigIndex;
    if (owner < 0 || m_selSignal >= 0 || owner >= static_cast<int32_t>(m_msg.Signals.size())) {
        m_tip->hide();
        return;
    }
    m_tip->setText(QString::fromStdString(m_msg.Signals[static_cast<size_t>(owner)].Name));
    m_tip->adjustSize();
    int x = pos.x() + 10;
    if (x + m_tip->width() > width()) x = pos.x() - 5 - m_tip->width();
    m_tip->move(x, pos.y() + 10);
    m_tip->show();
    m_tip->raise();
}
