// The windows' shared looks: the fixed-pitch font, text and background colours,
// and how byte text from the logic becomes screen text.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QRgb>
#include <QString>

class QWidget;

// "Courier New" at the given point size; where the face is missing, its
// metric-compatible stand-in (Liberation Mono on Debian).
QFont CourierNewFont(qreal points);

// Plain colours for a control: its text and its background, painted by the control.
void SetColours(QWidget& widget, QRgb text, QRgb background);

// Byte text for the screen: decoded, with CR LF (or a lone CR) as a line break.
QString ScreenText(const QByteArray& bytes);

// A caption for a menu item or button: an ampersand stays an ampersand.
QString CaptionText(const QByteArray& caption);
