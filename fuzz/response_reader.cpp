// fuzz-links: Qt6::Core
// fuzz-sources: update/http/HttpResponseReader.cpp update/http/NotFoundRule.cpp
// The update client's response reader: arbitrary bytes as a server's answer,
// arriving in pieces of a size the first byte picks. The reader must never
// hand on more body than announced, and a complete answer must be exactly as
// long as it said.
#include "FuzzCheck.h"
#include "update/http/HttpResponseReader.h"
#include "update/http/NotFoundRule.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] % 64 + 1;
    const char* input = reinterpret_cast<const char*>(data + 1);
    const auto length = qsizetype(size - 1);
    std::int64_t body = 0;
    bool notFound = false;
    HttpResponseReader reader;
    reader.Reset([&](const char* bytes, qsizetype count) {
        body += count;
        notFound = notFound || NotFoundRule::Matches(bytes, count);
        return TransferFailure();
    });
    for (qsizetype at = 0; at < length && !reader.Failed(); at += piece) {
        reader.Feed(input + at, std::min(piece, length - at));
        Check(reader.Received() <= at + piece);
    }
    Check(body == reader.BodyReceived() || reader.Failed());
    Check(body <= reader.ContentLength());
    if (reader.Complete())
        Check(reader.Received() == reader.ExpectedLength() && body == reader.ContentLength());
    // Only a success or a "not found" ever reaches the body.
    if (reader.BodyReceived() > 0 && !reader.Failed())
        Check((reader.StatusCode() >= 200 && reader.StatusCode() <= 299) ||
              reader.StatusCode() == 404);
    (void)notFound;
    return 0;
}
