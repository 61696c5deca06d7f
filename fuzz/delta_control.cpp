// fuzz-links: Qt6::Core
// fuzz-sources: update/delta/ZsyncControl.cpp update/delta/MultipartReader.cpp
// fuzz-sources: update/delta/SpanSet.cpp
// The delta readers: arbitrary bytes as a zsync control file (first byte
// even) or as the body of a ranged answer (odd), the second byte picking the
// answer's shape and the third the size of the pieces it arrives in. A control
// file that reads must describe a table that is all there; the multipart
// reader must never hand on bytes outside the file, and a complete answer
// must have delivered what it announced.
#include "FuzzCheck.h"
#include "update/delta/MultipartReader.h"
#include "update/delta/ZsyncControl.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr qint64 fileLength = 64;

void ReadControl(const QByteArray& text) {
    ZsyncControl control;
    if (!control.Read(text).isEmpty())
        return;
    Check(control.Length() >= 0 && control.Length() <= ZsyncControl::maxLength);
    Check(control.BlockCount() * control.Blocksize() >= control.Length());
    Check(control.BlockCount() * (control.RsumBytes() + control.ChecksumBytes()) < text.size());
    if (control.BlockCount() > 0) {
        const qint64 last = control.BlockCount() - 1;
        Check(control.RollingSum(last) <= control.RsumMask());
        // The last record ends the file.
        Check(std::memcmp(control.Checksum(last),
                          text.constData() + text.size() - control.ChecksumBytes(),
                          std::size_t(control.ChecksumBytes())) == 0);
    }
}

void ReadBody(std::uint8_t shape, qsizetype piece, const char* body, qsizetype length) {
    static const QByteArray types[] = {"multipart/byteranges; boundary=B",
                                       "multipart/byteranges; boundary=\"0\"", "application/zip"};
    const int status = shape % 4 == 3 ? 200 : 206;
    MultipartReader reader;
    qint64 delivered = 0;
    QByteArray failure =
        reader.Start(status, types[shape % 3], "bytes 5-9/64", fileLength,
                     [&](qint64 offset, const char*, qsizetype size) {
                         Check(offset >= 0 && size > 0 && offset + size <= fileLength);
                         delivered += size;
                         return QByteArray();
                     });
    for (qsizetype at = 0; at < length && failure.isEmpty(); at += piece)
        failure = reader.Feed(body + at, std::min(piece, length - at));
    Check(delivered == reader.Delivered());
    if (failure.isEmpty() && reader.Complete() && reader.Kind() == MultipartReader::Shape::Whole)
        Check(delivered == fileLength);
    if (failure.isEmpty() && reader.Complete() &&
        reader.Kind() == MultipartReader::Shape::SingleRange)
        Check(delivered == 5);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const char* input = reinterpret_cast<const char*>(data + 3);
    const auto length = qsizetype(size - 3);
    if (data[0] % 2 == 0)
        ReadControl(QByteArray(input, length));
    else
        ReadBody(data[1], data[2] % 64 + 1, input, length);
    return 0;
}
