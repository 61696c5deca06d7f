// Front-taken byte buffer with a moving start mark.
#include "socket/ByteQueue.h"

#include <algorithm>

void ByteQueue::append(const QByteArray& more) {
    if (isEmpty()) {
        bytes = more; // shares, no copy
        head = 0;
        return;
    }
    compact();
    bytes.append(more);
}

char* ByteQueue::grow(qsizetype count) {
    if (isEmpty())
        clear();
    compact();
    const qsizetype end = bytes.size();
    bytes.resize(end + count);
    return bytes.data() + end;
}

// Taken bytes are dropped only when more are added, and only once they are at
// least half the buffer: draining never moves bytes, adding moves each byte
// a bounded number of times.
void ByteQueue::compact() {
    if (head > 0 && head * 2 >= bytes.size()) {
        bytes.remove(0, head);
        head = 0;
    }
}

void ByteQueue::trimBack(qsizetype unused) {
    bytes.chop(unused);
    if (isEmpty())
        clear();
}

QByteArray ByteQueue::front(qsizetype count) const {
    return QByteArray(data(), std::min(count, size()));
}

void ByteQueue::removeFront(qsizetype count) {
    head += std::min(count, size());
    if (head == bytes.size())
        clear();
}

QByteArray ByteQueue::take(qsizetype count) {
    if (head == 0 && count >= bytes.size()) {
        QByteArray all = std::move(bytes);
        clear();
        return all;
    }
    QByteArray piece = front(count);
    removeFront(count);
    return piece;
}

void ByteQueue::clear() {
    bytes = QByteArray();
    head = 0;
}
