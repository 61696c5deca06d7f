// Reading a response as it arrives: every split of the same bytes gives the
// same head, the same body and the same verdict.
#include "update/net/HttpResponseReader.h"

#include <gtest/gtest.h>

namespace {

using Framing = HttpResponseReader::Framing;
const QByteArray closedEarly = HttpResponseReader::closedEarly;
const QByteArray brokenChunk = "The server's chunked answer is broken.";
const QByteArray noValidLength = "The server announced no valid length.";
const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";

struct Outcome {
    QByteArray failure;
    QByteArray body;
    bool completeBeforeClose = false;
    bool complete = false;
    std::int64_t expected = 0;
};

// Feeds `response` in two pieces cut at `cut`, then, when `close`, the server's
// close; `pipelined` when another answer follows it on the connection.
Outcome Read(const QByteArray& response, qsizetype cut, bool close, HttpResponseReader& reader,
             bool pipelined = false) {
    Outcome outcome;
    reader.Reset([&](const char* data, qsizetype size) {
        outcome.body.append(data, size);
        return TransferFailure();
    });
    if (pipelined)
        reader.KeepExcess();
    outcome.failure = reader.Feed(response.left(cut)).text;
    if (outcome.failure.isEmpty())
        outcome.failure = reader.Feed(response.mid(cut)).text;
    outcome.completeBeforeClose = reader.Complete();
    if (outcome.failure.isEmpty() && close)
        outcome.failure = reader.TakeClose().text;
    outcome.complete = reader.Complete();
    outcome.expected = reader.ExpectedLength();
    return outcome;
}

struct ResponseCase {
    const char* name;
    QByteArray response;
    QByteArray failure; // empty: the response completes
    QByteArray body;
    bool close = false; // the server closes after the response
    // The next pipelined answer's bytes that follow the response, kept for it.
    QByteArray excess = {};
};

class ResponseSplitTest : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(ResponseSplitTest, EverySplitGivesTheSameVerdict) {
    const ResponseCase& c = GetParam();
    for (qsizetype cut = 0; cut <= c.response.size() + c.excess.size(); ++cut) {
        HttpResponseReader reader;
        const Outcome outcome =
            Read(c.response + c.excess, cut, c.close, reader, !c.excess.isEmpty());
        EXPECT_EQ(outcome.failure, c.failure) << "cut at " << cut;
        if (c.failure.isEmpty()) {
            // Only a body without a length waits for the close.
            EXPECT_EQ(outcome.completeBeforeClose, reader.BodyFraming() != Framing::UntilClose)
                << "cut at " << cut;
            EXPECT_TRUE(outcome.complete) << "cut at " << cut;
            EXPECT_EQ(outcome.body, c.body) << "cut at " << cut;
            EXPECT_EQ(outcome.expected, c.response.size());
            EXPECT_EQ(reader.Received(), c.response.size());
            EXPECT_EQ(reader.TakeExcess(), c.excess) << "cut at " << cut;
        }
    }
}

QByteArray EveryByte() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Responses, ResponseSplitTest,
    ::testing::Values(
        ResponseCase{"Five", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", {}, "hello"},
        ResponseCase{
            "LowerCaseName", "HTTP/1.1 200 OK\r\ncontent-length:    3\r\n\r\nabc", {}, "abc"},
        ResponseCase{"NoLengthRunsToTheClose",
                     "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nhello",
                     {},
                     "hello",
                     true},
        ResponseCase{"LengthCutByTheClose",
                     "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello",
                     closedEarly,
                     {},
                     true},
        ResponseCase{"ChunksWithExtensionsAndTrailers",
                     chunked + "\r\n5\r\nhello\r\n6 ; name=\"v\"\r\n world\r\nA\r\n, 01234567\r\n"
                               "0\r\nX-Sum: 1\r\n\r\n",
                     {},
                     "hello world, 01234567"},
        ResponseCase{"ChunksIgnoreTheLength",
                     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: Chunked\r\n\r\n"
                     "3\r\nabc\r\n0\r\n\r\n",
                     {},
                     "abc"},
        ResponseCase{"ChunkSizeNotHex", chunked + "\r\nzz\r\nhello\r\n0\r\n\r\n", brokenChunk, {}},
        ResponseCase{
            "ChunkLongerThanItsSize", chunked + "\r\n2\r\nabc\r\n0\r\n\r\n", brokenChunk, {}},
        ResponseCase{"ChunksCutByTheClose", chunked + "\r\n5\r\nhello\r\n", closedEarly, {}, true},
        ResponseCase{"ChunksThenAPipelinedAnswer",
                     chunked + "\r\n3\r\nabc\r\n0\r\n\r\n",
                     {},
                     "abc",
                     false,
                     "HTTP/1.1 206 Partial Content\r\n"},
        ResponseCase{"LengthThenAPipelinedAnswer",
                     "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc",
                     {},
                     "abc",
                     false,
                     "HTTP/1.1 206 Partial Content\r\n"},
        ResponseCase{"BytesAfterTheLastChunk",
                     chunked + "\r\n0\r\n\r\nmore",
                     "The server sent more than it announced.",
                     {}},
        ResponseCase{"CodingOtherThanChunks",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n",
                     "The server sent a transfer coding KORU cannot read.",
                     {}},
        ResponseCase{"ConflictingLengths",
                     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello",
                     noValidLength,
                     {}},
        ResponseCase{"LengthListThatDisagrees",
                     "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\nhello",
                     noValidLength,
                     {}},
        ResponseCase{"JunkAfterTheDigits",
                     "HTTP/1.1 200 OK\r\nContent-Length: 5abc\r\n\r\nhello",
                     noValidLength,
                     {}},
        ResponseCase{"InterimAnswersGoFirst",
                     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
                     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
                     {},
                     "hello"},
        ResponseCase{
            "NoContentIsNoFile", "HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 204 No Content", {}},
        ResponseCase{"EveryByteValue",
                     "HTTP/1.1 200 OK\r\nContent-Length: 256\r\n\r\n" + EveryByte(),
                     {},
                     EveryByte()},
        ResponseCase{"LengthInTheBodyIsBody",
                     "HTTP/1.1 200 OK\r\nContent-Length: 19\r\n\r\nContent-Length: 900",
                     {},
                     "Content-Length: 900"},
        ResponseCase{"NotFoundKeepsItsBody",
                     "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone",
                     {},
                     "gone"},
        ResponseCase{"ErrorStatus",
                     "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
                     "HTTP/1.1 500 Internal Server Error",
                     {}},
        ResponseCase{"MoreThanAnnounced",
                     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabc",
                     "The server sent more than it announced.",
                     {}},
        ResponseCase{"NotHttp", "SSH-2.0-OpenSSH\r\n\r\n", "The server's answer is not HTTP.", {}},
        ResponseCase{
            "UnreadableStatus", "HTTP/1.1 2000 OK\r\n\r\n", "The server's answer is not HTTP.", {}},
        ResponseCase{
            "SignedStatus", "HTTP/1.1 +20 OK\r\n\r\n", "The server's answer is not HTTP.", {}},
        ResponseCase{"NegativeLength",
                     "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n",
                     "The server announced no valid length.",
                     {}},
        ResponseCase{"WordLength",
                     "HTTP/1.1 200 OK\r\nContent-Length: many\r\n\r\n",
                     "The server announced no valid length.",
                     {}},
        ResponseCase{"LengthPast63Bits",
                     "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n",
                     "The server announced a file too large to take.",
                     {}}),
    [](const ::testing::TestParamInfo<ResponseCase>& param) {
        return std::string(param.param.name);
    });

TEST(HttpResponseReaderTest, HeadIsParsedOnceWithItsFields) {
    HttpResponseReader reader;
    reader.Reset({});
    EXPECT_EQ(
        reader.Feed("HTTP/1.1 200 OK\r\nContent-Type: Application/Zip\r\nETag:  \"a1\" \r\n").text,
        QByteArray());
    EXPECT_FALSE(reader.HeadComplete());
    EXPECT_EQ(reader.ExpectedLength(), 0);
    EXPECT_EQ(reader.Feed("Content-Length: 4294967296\r\n\r\n").text, QByteArray());
    EXPECT_EQ(reader.StatusCode(), 200);
    EXPECT_EQ(reader.StatusLine(), QByteArray("HTTP/1.1 200 OK"));
    EXPECT_EQ(reader.Header("content-type"), QByteArray("Application/Zip"));
    EXPECT_EQ(reader.Header("ETAG"), QByteArray("\"a1\""));
    EXPECT_EQ(reader.Header("missing"), QByteArray());
    // Past 4 GiB: 64-bit lengths end to end.
    EXPECT_EQ(reader.ContentLength(), std::int64_t(1) << 32);
    EXPECT_EQ(reader.ExpectedLength(), reader.Received() + (std::int64_t(1) << 32));
}

TEST(HttpResponseReaderTest, CloseTheConnectionCannotVouchForEndsNoBody) {
    HttpResponseReader reader;
    reader.Reset({});
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\n\r\nhello").text, QByteArray());
    EXPECT_EQ(reader.TakeClose(false).text, closedEarly);
    EXPECT_FALSE(reader.Complete());
}

TEST(HttpResponseReaderTest, EndlessHeadFailsAtItsLimit) {
    HttpResponseReader reader;
    reader.Reset({});
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\n").text, QByteArray());
    const QByteArray line = "X-Padding: " + QByteArray(1000, 'p') + "\r\n";
    QByteArray failure;
    for (int i = 0; i < 100 && failure.isEmpty(); ++i)
        failure = reader.Feed(line).text;
    EXPECT_EQ(failure, QByteArray("The server's header block is too long."));
    EXPECT_LE(reader.Received(), HttpResponseReader::headLimit + line.size());
}

TEST(HttpResponseReaderTest, ChecksRefusalsAndLaterArrivalsRepeatTheFirstFailure) {
    HttpResponseReader reader;
    int headChecks = 0;
    const TransferFailure diskFull(TransferFailure::Kind::Save, "Disk full.");
    const TransferFailure tooSmall(TransferFailure::Kind::TooLarge, "too small");
    reader.Reset([&](const char*, qsizetype) { return diskFull; },
                 [&](const HttpResponseReader& r) {
                     ++headChecks;
                     return r.ContentLength() > 3 ? TransferFailure() : tooSmall;
                 });
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nab").text,
              QByteArray("Disk full."));
    EXPECT_EQ(reader.Feed("cd").text, QByteArray("Disk full."));
    EXPECT_EQ(headChecks, 1);
    EXPECT_TRUE(reader.Failed());

    reader.Reset({}, [&](const HttpResponseReader&) { return tooSmall; });
    EXPECT_EQ(reader.Feed("HTTP/1.1 200 OK\r\n\r\n").text, QByteArray("too small"));
}

} // namespace
