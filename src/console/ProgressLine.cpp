#include "console/ProgressLine.h"

namespace {

constexpr qint64 redrawMs = 100;
constexpr char clearLine[] = "\r\033[K";

} // namespace

QByteArray ProgressLine::Amount(std::int64_t bytes) {
    if (bytes < 1024)
        return QByteArray::number(bytes) + " bytes";
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    for (; value >= 1024 && unit < 3; ++unit)
        value /= 1024;
    return QByteArray::number(value, 'f', 1) + ' ' + units[unit];
}

void ProgressLine::Show(std::int64_t received, std::int64_t size, bool done) {
    QByteArray text = "Downloading VANTO: " + Amount(received);
    if (size > 0)
        text += " of " + Amount(size) + " (" + QByteArray::number(received * 100 / size) + "%)";
    Show(text, done);
}

void ProgressLine::Show(const QByteArray& text, bool done) {
    if (done) {
        if (shown_)
            terminal_.write(clearLine);
        shown_ = false;
        return;
    }
    if (shown_ && sinceDrawn_.isValid() && sinceDrawn_.elapsed() < redrawMs)
        return;
    terminal_.write(clearLine + text);
    shown_ = true;
    sinceDrawn_.start();
}
