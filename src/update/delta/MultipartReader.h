// The body of an answer to a ranged request, read as it arrives: a
// multipart/byteranges body part by part, a single 206 range, or the whole
// file in a 200 from a server that ignores ranges. Each piece of the file goes
// to the sink with its offset. No I/O of its own: feed it bytes.
#pragma once

#include "update/delta/SpanSet.h"

#include <QByteArray>
#include <cstdint>
#include <functional>

class MultipartReader {
public:
    // What the server sent: the caller goes on with several ranges, a single
    // range, or takes the whole file and stops asking.
    enum class Shape { Multipart, SingleRange, Whole };
    // Takes `size` bytes of the file at `offset`; answers a failure or empty.
    using Sink = std::function<QByteArray(qint64 offset, const char* data, qsizetype size)>;

    static constexpr qsizetype maxLine = 1024;
    static constexpr qsizetype maxPartHead = 8 * 1024;

    // Begins a body from the response's status and headers; `fileLength` is
    // the whole file's, from the control file. Empty, or why the answer
    // cannot be used.
    QByteArray Start(int status, const QByteArray& contentType, const QByteArray& contentRange,
                     qint64 fileLength, Sink sink);
    // Bounds the answers that follow by what was asked: bytes `first` to
    // `last` in `ranges` ranges, which a server may merge or reorder. A part
    // outside that span or repeating bytes of the same answer is refused, and
    // a multipart body may hold no more than the span and its framing.
    void Expect(qint64 first, qint64 last, qsizetype ranges);
    // Takes the next bytes of the body; empty, or why it is refused.
    QByteArray Feed(const char* data, qsizetype size);
    QByteArray Feed(const QByteArray& bytes) { return Feed(bytes.constData(), bytes.size()); }

    Shape Kind() const { return shape_; }
    // The body ended where it should: every announced byte, and for several
    // ranges the closing boundary.
    bool Complete() const;
    // File bytes handed to the sink.
    qint64 Delivered() const { return delivered_; }
    // The last refusal was a Content-Range of a file of another length.
    bool OtherLength() const { return otherLength_; }

private:
    enum class State { Preamble, PartHead, Data, AfterData, Delimiter, Epilogue };

    QByteArray Line(QByteArray line);
    QByteArray Range(const QByteArray& value);

    struct Asked {
        qint64 first = 0;
        qint64 last = -1;
        qint64 budget = -1; // body bytes a multipart answer may hold; -1: unbounded
    };

    Sink sink_;
    Asked asked_;
    SpanSet parts_; // the file bytes this answer's parts announced
    qint64 bodyBytes_ = 0;
    bool otherLength_ = false;
    Shape shape_ = Shape::Whole;
    State state_ = State::Data;
    QByteArray boundary_; // with its leading "--"
    QByteArray line_;     // an unfinished line
    qsizetype partHead_ = 0;
    qint64 fileLength_ = 0;
    qint64 offset_ = 0;    // where the next data byte goes
    qint64 remaining_ = 0; // data bytes of the current part still to come
    bool haveRange_ = false;
    qint64 delivered_ = 0;
};
