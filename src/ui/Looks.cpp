#include "ui/Looks.h"

#include "platform/runtime/ByteText.h"

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QPalette>
#include <QScrollBar>

QFont CourierNewFont(qreal points) {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

void SetColours(QWidget& widget, QRgb text, QRgb background) {
    QPalette palette = widget.palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, QColor(text));
        palette.setColor(group, QPalette::WindowText, QColor(text));
        palette.setColor(group, QPalette::Base, QColor(background));
        palette.setColor(group, QPalette::Window, QColor(background));
    }
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
    // Scroll bars keep the desktop's colours, as beside any other text box.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(&widget)) {
        QPalette desktop = QGuiApplication::palette();
        desktop.setResolveMask(~QPalette::ResolveMask(0)); // every role set, none inherited
        area->verticalScrollBar()->setPalette(desktop);
        area->horizontalScrollBar()->setPalette(desktop);
    }
}

QString ScreenText(const QByteArray& bytes) {
    QString text = DisplayText(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QString CaptionText(const QByteArray& caption) {
    return DisplayText(caption).replace(u'&', QStringLiteral("&&"));
}
