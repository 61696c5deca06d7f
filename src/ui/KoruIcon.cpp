#include "ui/KoruIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The installed icon's SVG, built into the program, drawn at the windows' 32 × 32.
QIcon KoruIcon() {
    // The picture lives in a static library, where its registration must be asked for.
    Q_INIT_RESOURCE(koru_icon);
    QSvgRenderer svg(QStringLiteral(":/koru/koru.svg"));
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter);
    painter.end();
    return QIcon(pixmap);
}
