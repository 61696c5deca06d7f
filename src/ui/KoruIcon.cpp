#include "ui/KoruIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

// A green "K" over a downward arrow on a black tile: the log's colours.
QIcon KoruIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x00FF00), 1.5));
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);

    painter.setPen(QPen(QColor(0x00FF00), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawLine(QPointF(9, 6), QPointF(9, 20));
    painter.drawPolyline(QPolygonF({QPointF(20, 6), QPointF(11, 13), QPointF(20, 20)}));

    QPainterPath arrow;
    arrow.moveTo(16, 28);
    arrow.lineTo(9, 23);
    arrow.lineTo(23, 23);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x00FF00));
    painter.drawPath(arrow);
    painter.end();
    return QIcon(pixmap);
}
