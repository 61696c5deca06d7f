// A download's or an install's progress on one console line that is
// rewritten in place and cleared at the end: bytes received, and the whole
// size once announced; or the install's own text.
// Redrawn at most ten times a second, so a fast download costs nothing.
#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <cstdint>

class ProgressLine {
public:
    explicit ProgressLine(QIODevice& terminal) : terminal_(terminal) {}

    // `size` is 0 while unknown; `done` clears the line.
    void Show(std::int64_t received, std::int64_t size, bool done);
    // `text` as the line; `done` clears it.
    void Show(const QByteArray& text, bool done);

    // "12.3 MiB", "512 bytes".
    static QByteArray Amount(std::int64_t bytes);

private:
    QIODevice& terminal_;
    QElapsedTimer sinceDrawn_;
    bool shown_ = false;
};
