#include "ui/app/frameicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

#include "ui/app/framecommands.h"

namespace {

QIcon paintIcon(const std::function<void(QPainter&, qreal)>& draw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, size);
        icon.addPixmap(pm);
    }
    return icon;
}

void disc(QPainter& p, qreal s, const QColor& colour) {
    p.setPen(QPen(colour.darker(140), s / 16));
    p.setBrush(colour);
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
}

// A white disc with a grey rim, for the logging pair.
void plate(QPainter& p, qreal s) {
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), s / 16));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    p.setPen(Qt::NoPen);
}

}  // namespace

QIcon AppIcon() {
    return paintIcon([](QPainter& p, qreal s) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1F, 0x5F, 0xA8));
        p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
        QPainterPath v;
        v.moveTo(s * 0.2, s * 0.22);
        v.lineTo(s * 0.5, s * 0.8);
        v.lineTo(s * 0.8, s * 0.22);
        p.setPen(QPen(Qt::white, s * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(v);
    });
}

QIcon FrameCmdIcon(uint32_t id) {
    switch (id) {
        case ID_START_LISTEN:
            return paintIcon([](QPainter& p, qreal s) {
                disc(p, s, QColor(0x2E, 0xA0, 0x43));
                QPolygonF tri{{s * 0.38, s * 0.28}, {s * 0.74, s * 0.5}, {s * 0.38, s * 0.72}};
                p.setPen(Qt::NoPen);
                p.setBrush(Qt::white);
                p.drawPolygon(tri);
            });
        case ID_STOP_LISTEN:
            return paintIcon([](QPainter& p, qreal s) {
                disc(p, s, QColor(0xC6, 0x28, 0x28));
                p.setPen(Qt::NoPen);
                p.setBrush(Qt::white);
                p.drawRect(QRectF(s * 0.32, s * 0.32, s * 0.36, s * 0.36));
            });
        case ID_START_LOG:
            return paintIcon([](QPainter& p, qreal s) {
                plate(p, s);
                p.setBrush(QColor(0xD3, 0x2F, 0x2F));
                p.drawEllipse(QRectF(s * 0.27, s * 0.27, s * 0.46, s * 0.46));
            });
        case ID_STOP_LOG:
            return paintIcon([](QPainter& p, qreal s) {
                plate(p, s);
                p.setBrush(QColor(0x42, 0x42, 0x42));
                p.drawRect(QRectF(s * 0.3, s * 0.3, s * 0.4, s * 0.4));
            });
        case ID_REPLAY:
            return paintIcon([](QPainter& p, qreal s) {
                const QColor blue(0x15, 0x65, 0xC0);
                p.setPen(QPen(blue, s * 0.12, Qt::SolidLine, Qt::FlatCap));
                p.setBrush(Qt::NoBrush);
                const QRectF arc(s * 0.18, s * 0.18, s * 0.64, s * 0.64);
                p.drawArc(arc, 60 * 16, 280 * 16);
                QPolygonF head{{s * 0.56, s * 0.04}, {s * 0.78, s * 0.2}, {s * 0.52, s * 0.32}};
                p.setPen(Qt::NoPen);
                p.setBrush(blue);
                p.drawPolygon(head);
            });
        default:
            return {};
    }
}
