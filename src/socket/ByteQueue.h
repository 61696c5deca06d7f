// A byte string taken from the front and added to at the back, as the socket
// object's send and receive buffers are used. Taking from the front moves a
// start mark instead of the bytes, so draining a large buffer in pieces costs
// time in proportion to the bytes, not to their square.
#pragma once

#include <QByteArray>

class ByteQueue {
public:
    qsizetype size() const { return bytes.size() - head; }
    bool isEmpty() const { return size() == 0; }
    const char* data() const { return bytes.constData() + head; }

    void append(const QByteArray& more);
    // Makes room for `count` more bytes at the back and returns where they go;
    // `trimBack` gives back what was not filled.
    char* grow(qsizetype count);
    void trimBack(qsizetype unused);

    // A copy of the first `count` bytes (all when fewer).
    QByteArray front(qsizetype count) const;
    void removeFront(qsizetype count);
    // The first `count` bytes (all when fewer), removed.
    QByteArray take(qsizetype count);
    void clear();

private:
    void compact();

    QByteArray bytes;
    qsizetype head = 0;
};
