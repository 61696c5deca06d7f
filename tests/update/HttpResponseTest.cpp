// Reading a response gathered piece by piece: expected length, body, status,
// not-found text and the progress digits.
#include "update/HttpResponse.h"

#include <gtest/gtest.h>

namespace {

const QByteArray fiveByteResponse = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

TEST(HttpResponseTest, RequestIsTheSixLineGetWithAbsoluteAddress) {
    EXPECT_EQ(HttpResponse::RequestText("updates.example", "/files/vanto.zip"),
              QByteArray("GET http://updates.example/files/vanto.zip HTTP/1.1\r\n"
                         "Host: updates.example\r\n"
                         "Accept: */*\r\n"
                         "Accept-Language: en\r\n"
                         "Connection: Keep-Alive\r\n"
                         "\r\n"));
}

TEST(HttpResponseTest, ExpectedLengthIsKnownOnlyOnceTheHeaderBlockIsComplete) {
    // Whatever the split, the expectation is either unknown or right.
    for (qsizetype cut = 0; cut <= fiveByteResponse.size(); ++cut) {
        const QByteArray prefix = fiveByteResponse.left(cut);
        const std::int64_t expected = HttpResponse::ExpectedLength(prefix);
        if (cut < fiveByteResponse.indexOf("\r\n\r\n") + 4)
            EXPECT_EQ(expected, 0) << "cut at " << cut;
        else
            EXPECT_EQ(expected, fiveByteResponse.size()) << "cut at " << cut;
    }
}

TEST(HttpResponseTest, HeaderNameMatchesInAnyCaseAndBlanksAreSkipped) {
    EXPECT_EQ(HttpResponse::ContentLength("HTTP/1.1 200 OK\r\ncontent-length: 12\r\n\r\n"), 12);
    EXPECT_EQ(HttpResponse::ContentLength("HTTP/1.1 200 OK\r\nCONTENT-LENGTH:    7\r\n\r\n"), 7);
    EXPECT_EQ(HttpResponse::ContentLength("HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n"), 0);
    EXPECT_EQ(HttpResponse::ContentLength("HTTP/1.1 200 OK\r\n\r\nContent-Length: 9"), 0);
}

TEST(HttpResponseTest, ResponseWithoutLengthHeaderCompletesWithEmptyBody) {
    const QByteArray response = "HTTP/1.1 200 OK\r\nServer: x\r\n\r\n";
    EXPECT_EQ(HttpResponse::ExpectedLength(response), response.size());
    EXPECT_EQ(HttpResponse::Body(response), QByteArray());
}

TEST(HttpResponseTest, BodyIsTheAnnouncedTailWithEveryByteKept) {
    QByteArray body;
    for (int i = 0; i < 256; ++i)
        body.append(static_cast<char>(i));
    const QByteArray response = "HTTP/1.1 200 OK\r\nContent-Length: 256\r\n\r\n" + body;
    EXPECT_EQ(HttpResponse::ExpectedLength(response), response.size());
    EXPECT_EQ(HttpResponse::Body(response), body);
    EXPECT_EQ(HttpResponse::Body(fiveByteResponse), QByteArray("hello"));
}

TEST(HttpResponseTest, StatusLineAndCode) {
    EXPECT_EQ(HttpResponse::StatusLine(fiveByteResponse), QByteArray("HTTP/1.1 200 OK"));
    EXPECT_EQ(HttpResponse::StatusCode(fiveByteResponse), 200);
    EXPECT_EQ(HttpResponse::StatusCode("HTTP/1.1 500 Internal Server Error\r\n\r\n"), 500);
    EXPECT_EQ(HttpResponse::StatusCode("garbage\r\n"), 0);
    EXPECT_EQ(HttpResponse::StatusCode("HTTP/1.1 2000 OK\r\n"), 0);
}

TEST(HttpResponseTest, NotFoundTextInAnyCase) {
    EXPECT_TRUE(HttpResponse::ContainsNotFound("<h1>404 Not Found</h1>"));
    EXPECT_TRUE(HttpResponse::ContainsNotFound("x 404 nOT fOUND y"));
    EXPECT_FALSE(HttpResponse::ContainsNotFound("404  not found"));
}

TEST(HttpResponseTest, ProgressShowsTheLowSevenDigits) {
    EXPECT_EQ(HttpResponse::SevenDigits(0), QByteArray("0000000"));
    EXPECT_EQ(HttpResponse::SevenDigits(1234), QByteArray("0001234"));
    EXPECT_EQ(HttpResponse::SevenDigits(9999999), QByteArray("9999999"));
    EXPECT_EQ(HttpResponse::SevenDigits(12345678), QByteArray("2345678"));
}

} // namespace

namespace {

TEST(HttpResponseTest, ServerAddressSplitsIntoNameAndPort) {
    EXPECT_EQ(HttpResponse::ServerName("update.koru.example"), QByteArray("update.koru.example"));
    EXPECT_EQ(HttpResponse::ServerPort("update.koru.example"), 80);
    EXPECT_EQ(HttpResponse::ServerName("127.0.0.1:8080"), QByteArray("127.0.0.1"));
    EXPECT_EQ(HttpResponse::ServerPort("127.0.0.1:8080"), 8080);
    EXPECT_EQ(HttpResponse::ServerPort("host:http"), 0);
    EXPECT_EQ(HttpResponse::ServerPort("host:70000"), 0);
}

} // namespace
