// fuzz-links: Qt6::Core
// fuzz-sources: update/net/HttpResponseReader.cpp update/formats/NotFoundRule.cpp
// The update client's response reader: arbitrary bytes as a server's answer
// (a length, chunks, or neither), arriving in pieces of a size the first
// byte's low six bits pick, then a close when its seventh bit says so,
// unclean when the eighth does. The reader must never hand on more body than
// announced, a complete answer must be exactly as long as it said, and the
// pieces must not matter: read whole, the answer gives the same verdict and
// the same body.
#include "FuzzCheck.h"
#include "update/formats/NotFoundRule.h"
#include "update/net/HttpResponseReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

struct Reading {
    QByteArray failure;
    QByteArray body;
    bool complete = false;
};

Reading Read(HttpResponseReader& reader, const char* input, qsizetype length, qsizetype piece,
             std::uint8_t ending) {
    Reading reading;
    reader.Reset([&](const char* bytes, qsizetype count) {
        reading.body.append(bytes, count);
        (void)NotFoundRule::Matches(bytes, count);
        return TransferFailure();
    });
    for (qsizetype at = 0; at < length && !reader.Failed(); at += piece) {
        reading.failure = reader.Feed(input + at, std::min(piece, length - at)).text;
        Check(reader.Received() <= at + piece);
    }
    if (ending & 0x40)
        reading.failure = reader.TakeClose((ending & 0x80) == 0).text;
    reading.complete = reader.Complete();
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] % 64 + 1;
    const char* input = reinterpret_cast<const char*>(data + 1);
    const auto length = qsizetype(size - 1);
    HttpResponseReader reader;
    const Reading pieces = Read(reader, input, length, piece, data[0]);
    const auto body = qsizetype(pieces.body.size());
    Check(body == reader.BodyReceived());
    Check(body <= reader.Received());
    if (reader.BodyFraming() == HttpResponseReader::Framing::Length)
        Check(body <= reader.ContentLength());
    if (reader.Complete()) {
        Check(reader.Received() == reader.ExpectedLength());
        if (reader.BodyFraming() == HttpResponseReader::Framing::Length)
            Check(body == reader.ContentLength());
    }
    // Only a success or a "not found" ever reaches the body.
    if (body > 0 && !reader.Failed())
        Check((reader.StatusCode() >= 200 && reader.StatusCode() <= 299) ||
              reader.StatusCode() == 404);

    // A reader that failed stops at the failing piece; one that did not has
    // seen everything, as the whole answer read at once does.
    if (!pieces.failure.isEmpty())
        return 0;
    HttpResponseReader whole;
    const Reading once = Read(whole, input, length, std::max<qsizetype>(length, 1), data[0]);
    Check(once.failure.isEmpty() && once.body == pieces.body && once.complete == pieces.complete);
    return 0;
}
