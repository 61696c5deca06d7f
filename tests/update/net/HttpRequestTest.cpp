// The request text, server addresses and the not-found words.
#include "update/net/HttpRequest.h"

#include "update/formats/NotFoundRule.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpRequestTest, RequestIsTheSixLineGetWithAbsoluteAddress) {
    EXPECT_EQ(HttpRequest::RequestText("updates.example", "/files/vanto.zip"),
              QByteArray("GET http://updates.example/files/vanto.zip HTTP/1.1\r\n"
                         "Host: updates.example\r\n"
                         "Accept: */*\r\n"
                         "Accept-Language: en\r\n"
                         "Connection: Keep-Alive\r\n"
                         "\r\n"));
}

TEST(NotFoundRuleTest, WordsInAnyCase) {
    EXPECT_TRUE(NotFoundRule::Matches("<h1>404 Not Found</h1>"));
    EXPECT_TRUE(NotFoundRule::Matches("x 404 nOT fOUND y"));
    EXPECT_FALSE(NotFoundRule::Matches("404  not found"));
    EXPECT_FALSE(NotFoundRule::Matches("404 not foun"));
    EXPECT_TRUE(NotFoundRule::Matches(QByteArray("\0\0"
                                                 "404 NOT FOUND",
                                                 15)));
}

TEST(NotFoundRuleTest, WhatIsFetchedDecidesWhetherTheWordsCount) {
    using enum NotFoundRule::Fetched;
    const struct {
        NotFoundRule::Fetched fetched;
        int status;
        bool words;
        bool zip;
        bool missing;
    } rows[] = {
        {Text, 404, false, false, true},     {Text, 200, true, true, true},
        {Text, 200, false, false, false},    {Signed, 200, true, false, false},
        {Signed, 404, false, false, true},   {Binary, 200, true, false, false},
        {Binary, 404, false, true, true},    {ZipAnswer, 200, true, false, true},
        {ZipAnswer, 200, true, true, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NotFoundRule::Missing(row.fetched, row.status, row.words, row.zip), row.missing)
            << int(row.fetched) << ' ' << row.status << ' ' << row.words << row.zip;
}

TEST(HttpRequestTest, ServerAddressSplitsIntoNameAndPort) {
    EXPECT_EQ(HttpRequest::ServerName("update.koru.example"), QByteArray("update.koru.example"));
    EXPECT_EQ(HttpRequest::ServerPort("update.koru.example"), 80);
    EXPECT_EQ(HttpRequest::ServerName("127.0.0.1:8080"), QByteArray("127.0.0.1"));
    EXPECT_EQ(HttpRequest::ServerPort("127.0.0.1:8080"), 8080);
    EXPECT_EQ(HttpRequest::ServerPort("host:http"), 0);
    EXPECT_EQ(HttpRequest::ServerPort("host:70000"), 0);
}

} // namespace
