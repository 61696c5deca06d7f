// Front-taken byte buffer with a moving start mark.
#include "socket/ByteQueue.h"

#include <algorithm>

void ByteQueue::append(const QByteArray& more) {
    if (isEmpty() && head == 0)
        bytes = more; // shares, no copy
    else
        bytes.append(more);
}

char* ByteQueue::grow(qsizetype count) {
    const qsizetype end = bytes.size();
    bytes.resize(end + count);
    return bytes.data() + end;
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
    if (head == bytes.size()) {
        clear();
    } else if (head >= 65536 && head * 2 >= bytes.size()) {
        bytes.remove(0, head);
        head = 0;
    }
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
