// Parts are framed by their Content-Range, as nginx and the sample server
// send them: a part's bytes are taken by count, never searched for the
// boundary, and the line after them must be the boundary.
#include "update/delta/MultipartReader.h"

#include "update/delta/DecimalNumber.h"

#include <QList>

namespace {

// The boundary parameter of a Content-Type, unquoted; empty when there is none.
QByteArray Boundary(const QByteArray& contentType) {
    const QList<QByteArray> parameters = contentType.split(';');
    for (qsizetype i = 1; i < parameters.size(); ++i) {
        const QByteArray parameter = parameters[i].trimmed();
        if (!parameter.toLower().startsWith("boundary="))
            continue;
        QByteArray value = parameter.mid(9);
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value.size() <= 70 ? value : QByteArray();
    }
    return {};
}

} // namespace

QByteArray MultipartReader::Start(int status, const QByteArray& contentType,
                                  const QByteArray& contentRange, qint64 fileLength, Sink sink) {
    const Asked asked = asked_;
    *this = MultipartReader();
    asked_ = asked;
    sink_ = std::move(sink);
    fileLength_ = fileLength;
    if (status == 200) {
        shape_ = Shape::Whole;
        remaining_ = fileLength;
        return {};
    }
    if (status != 206)
        return "the server answered a ranged request with status " + QByteArray::number(status);
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    if (type == "multipart/byteranges") {
        shape_ = Shape::Multipart;
        const QByteArray boundary = Boundary(contentType);
        if (boundary.isEmpty())
            return "the multipart answer names no boundary";
        boundary_ = "--" + boundary;
        state_ = State::Preamble;
        return {};
    }
    shape_ = Shape::SingleRange;
    return Range(contentRange);
}

void MultipartReader::Expect(qint64 first, qint64 last, qsizetype ranges) {
    // Each part's head is bounded by maxPartHead; a boundary line by maxLine.
    asked_ = {first, last, (last - first + 1) + (ranges + 1) * (maxPartHead + maxLine)};
}

// Reads "bytes FIRST-LAST/LENGTH" into the data state.
QByteArray MultipartReader::Range(const QByteArray& value) {
    const QByteArray text = value.trimmed();
    const qsizetype dash = text.indexOf('-');
    const qsizetype slash = text.indexOf('/');
    if (!text.toLower().startsWith("bytes ") || dash < 0 || slash < dash)
        return "a Content-Range is malformed: " + text.left(80);
    const qint64 first = DecimalNumber(text.mid(6, dash - 6).trimmed());
    const qint64 last = DecimalNumber(text.mid(dash + 1, slash - dash - 1));
    const qint64 length = DecimalNumber(text.mid(slash + 1));
    otherLength_ = length >= 0 && length != fileLength_;
    if (first < 0 || last < first || length != fileLength_ || last >= length)
        return "a Content-Range does not fit the file: " + text.left(80);
    if (asked_.budget >= 0 && (first < asked_.first || last > asked_.last))
        return "the server sent a part of the archive that was not asked for";
    if (parts_.Overlaps(first, last + 1))
        return "the server sent the same part of the archive twice";
    parts_.Add(first, last + 1);
    offset_ = first;
    remaining_ = last - first + 1;
    state_ = State::Data;
    return {};
}

QByteArray MultipartReader::Feed(const char* data, qsizetype size) {
    const char* const end = data + size;
    bodyBytes_ += size;
    if (shape_ == Shape::Multipart && asked_.budget >= 0 && bodyBytes_ > asked_.budget)
        return "the server's answer is longer than the ranges asked for";
    while (data < end) {
        if (state_ == State::Data) {
            if (remaining_ == 0)
                return "the answer holds more bytes than it announced";
            const qsizetype take = qsizetype(std::min<qint64>(remaining_, end - data));
            const QByteArray failure = sink_(offset_, data, take);
            if (!failure.isEmpty())
                return failure;
            offset_ += take;
            remaining_ -= take;
            delivered_ += take;
            data += take;
            if (remaining_ == 0 && shape_ == Shape::Multipart)
                state_ = State::AfterData;
            continue;
        }
        if (state_ == State::Epilogue)
            return {};
        const char* newline = std::find(data, end, '\n');
        const qsizetype take = newline - data + (newline < end ? 1 : 0);
        if (line_.size() + take > maxLine)
            return "a line of the multipart answer is too long";
        line_.append(data, take);
        data += take;
        if (newline < end) {
            const QByteArray failure = Line(std::exchange(line_, {}));
            if (!failure.isEmpty())
                return failure;
        }
    }
    return {};
}

// One whole line outside a part's bytes, with its line end.
QByteArray MultipartReader::Line(QByteArray line) {
    const QByteArray text = line.trimmed();
    switch (state_) {
    case State::Preamble:
    case State::Delimiter:
        partHead_ += line.size();
        if (partHead_ > maxPartHead)
            return "the multipart answer has no boundary where it should";
        if (text == boundary_ + "--" && state_ == State::Delimiter) {
            state_ = State::Epilogue;
        } else if (text == boundary_) {
            state_ = State::PartHead;
            partHead_ = 0;
            haveRange_ = false;
        } else if (state_ == State::Delimiter) {
            return "a part of the multipart answer is not followed by its boundary";
        }
        return {};
    case State::AfterData:
        if (!text.isEmpty())
            return "a part of the multipart answer is longer than its Content-Range";
        state_ = State::Delimiter;
        partHead_ = 0;
        return {};
    case State::PartHead: {
        partHead_ += line.size();
        if (partHead_ > maxPartHead)
            return "a part's header of the multipart answer is too long";
        if (text.isEmpty()) {
            if (!haveRange_)
                return "a part of the multipart answer has no Content-Range";
            state_ = State::Data;
            return {};
        }
        const qsizetype colon = text.indexOf(':');
        if (colon > 0 && text.left(colon).trimmed().toLower() == "content-range") {
            if (haveRange_)
                return "a part of the multipart answer has two Content-Ranges";
            haveRange_ = true;
            const QByteArray failure = Range(text.mid(colon + 1));
            state_ = State::PartHead;
            return failure;
        }
        return {};
    }
    case State::Data:
    case State::Epilogue:
        break;
    }
    return {};
}

bool MultipartReader::Complete() const {
    // The line end after the closing boundary may be left out.
    if (shape_ == Shape::Multipart)
        return state_ == State::Epilogue ||
               (state_ == State::Delimiter && line_.trimmed() == boundary_ + "--");
    return state_ == State::Data && remaining_ == 0;
}
