// The request text, server addresses, the not-found words and the progress digits.
#include "update/HttpResponse.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpResponseTest, RequestIsTheSixLineGetWithAbsoluteAddress) {
    EXPECT_EQ(HttpResponse::RequestText("updates.example", "/files/vanto.zip"),
              QByteArray("GET http://updates.example/files/vanto.zip HTTP/1.1\r\n"
                         "Host: updates.example\r\n"
                         "Accept: */*\r\n"
                         "Accept-Language: en\r\n"
                         "Connection: Keep-Alive\r\n"
                         "\r\n"));
}

TEST(HttpResponseTest, NotFoundTextInAnyCase) {
    EXPECT_TRUE(HttpResponse::ContainsNotFound("<h1>404 Not Found</h1>"));
    EXPECT_TRUE(HttpResponse::ContainsNotFound("x 404 nOT fOUND y"));
    EXPECT_FALSE(HttpResponse::ContainsNotFound("404  not found"));
    EXPECT_FALSE(HttpResponse::ContainsNotFound("404 not foun"));
    EXPECT_TRUE(HttpResponse::ContainsNotFound(QByteArray("\0\0"
                                                          "404 NOT FOUND",
                                                          15)));
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
