// Reading a ranged answer as it arrives: every split of the same body gives
// the same file bytes at the same offsets and the same verdict, for several
// ranges, a single one and the whole file.
#include "update/delta/MultipartReader.h"

#include <gtest/gtest.h>

namespace {

constexpr qint64 fileLength = 20;

struct BodyCase {
    const char* name;
    int status;
    QByteArray contentType;
    QByteArray contentRange;
    QByteArray body;
    const char* failure; // "" when it completes
    const char* file;    // the 20-byte file as written, '.' where nothing came
};

QByteArray Part(const QByteArray& boundary, const QByteArray& range, const QByteArray& bytes) {
    return "\r\n--" + boundary + "\r\nContent-Type: application/zip\r\nContent-Range: bytes " +
           range + "/20\r\n\r\n" + bytes;
}

const QByteArray twoParts = Part("00000000000000000001", "0-3", "ABCD") +
                            Part("00000000000000000001", "10-14", "KLMNO") +
                            "\r\n--00000000000000000001--\r\n";
const QByteArray multipart = "multipart/byteranges; boundary=00000000000000000001";

class MultipartSplitTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(MultipartSplitTest, EverySplitGivesTheSameBytesAndVerdict) {
    const BodyCase& c = GetParam();
    for (qsizetype cut = 0; cut <= c.body.size(); ++cut) {
        QByteArray file(fileLength, '.');
        MultipartReader reader;
        QByteArray failure = reader.Start(c.status, c.contentType, c.contentRange, fileLength,
                                          [&](qint64 offset, const char* data, qsizetype size) {
                                              file.replace(offset, size, data, size);
                                              return QByteArray();
                                          });
        if (failure.isEmpty())
            failure = reader.Feed(c.body.left(cut));
        if (failure.isEmpty())
            failure = reader.Feed(c.body.mid(cut));
        if (failure.isEmpty() && !reader.Complete())
            failure = "incomplete";
        ASSERT_EQ(failure, c.failure) << "cut at " << cut;
        if (*c.failure == '\0') {
            EXPECT_EQ(file, c.file) << "cut at " << cut;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, MultipartSplitTest,
    ::testing::Values(
        BodyCase{"TwoParts", 206, multipart, "", twoParts, "", "ABCD......KLMNO....."},
        BodyCase{"PreambleQuotedBoundaryEpilogue", 206,
                 "Multipart/Byteranges; charset=x; boundary=\"b c\"", "",
                 "preamble\r\n" + Part("b c", "19-19", "T").mid(2) + "\r\n--b c--\r\nepilogue", "",
                 "...................T"},
        BodyCase{"PartWhoseBytesLookLikeTheBoundary", 206, multipart, "",
                 Part("00000000000000000001", "0-5", "\r\n--00") + "\r\n--00000000000000000001--",
                 "", "\r\n--00.............."},
        BodyCase{"SingleRange", 206, "application/zip", "bytes 2-4/20", "CDE", "",
                 "..CDE..............."},
        BodyCase{"Whole", 200, "application/zip", "", "ABCDEFGHIJKLMNOPQRST", "",
                 "ABCDEFGHIJKLMNOPQRST"},
        BodyCase{"WholeCut", 200, "application/zip", "", "ABCDEFGHIJ", "incomplete", ""},
        BodyCase{"WholeTooLong", 200, "application/zip", "", "ABCDEFGHIJKLMNOPQRSTU",
                 "the answer holds more bytes than it announced", ""},
        BodyCase{"NoClosingBoundary", 206, multipart, "", twoParts.chopped(4), "incomplete", ""},
        BodyCase{"PartLongerThanItsRange", 206, multipart, "",
                 Part("00000000000000000001", "0-3", "ABCDE") + "\r\n--00000000000000000001--",
                 "a part of the multipart answer is longer than its Content-Range", ""},
        BodyCase{"PartWithoutRange", 206, multipart, "",
                 "\r\n--00000000000000000001\r\nContent-Type: x\r\n\r\nABCD",
                 "a part of the multipart answer has no Content-Range", ""},
        BodyCase{"RangeOfAnotherFile", 206, multipart, "",
                 Part("00000000000000000001", "0-3", "ABCD").replace("/20", "/21"),
                 "a Content-Range does not fit the file: bytes 0-3/21", ""},
        BodyCase{"NoBoundary", 206, "multipart/byteranges", "", twoParts,
                 "the multipart answer names no boundary", ""},
        BodyCase{"RangeBeyondTheEnd", 206, "application/zip", "bytes 18-20/20", "STU",
                 "a Content-Range does not fit the file: bytes 18-20/20", ""},
        BodyCase{"NotPartial", 416, "text/html", "bytes */20", "",
                 "the server answered a ranged request with status 416", ""}),
    [](const auto& row) { return std::string(row.param.name); });

// Bounded by the span asked (bytes 2-14 in two ranges): a server may merge
// or reorder what was asked, but not step outside it or send a byte twice.
struct SpanCase {
    const char* name;
    QByteArray body;
    const char* failure;
};

QByteArray SpanBody(const QList<QByteArray>& ranges) {
    QByteArray body;
    for (const QByteArray& range : ranges) {
        const QList<QByteArray> ends = range.split('-');
        body += Part("b", range, QByteArray(ends[1].toInt() - ends[0].toInt() + 1, 'x'));
    }
    return body + "\r\n--b--\r\n";
}

class MultipartSpanTest : public ::testing::TestWithParam<SpanCase> {};

TEST_P(MultipartSpanTest, EachPartStaysInTheSpanAndComesOnce) {
    MultipartReader reader;
    reader.Expect(2, 14, 2);
    QByteArray failure = reader.Start(206, "multipart/byteranges; boundary=b", "", fileLength,
                                      [](qint64, const char*, qsizetype) { return QByteArray(); });
    if (failure.isEmpty())
        failure = reader.Feed(GetParam().body);
    EXPECT_EQ(failure, GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, MultipartSpanTest,
    ::testing::Values(SpanCase{"Merged", SpanBody({"2-14"}), ""},
                      SpanCase{"ReorderedNeighbours", SpanBody({"9-14", "2-8"}), ""},
                      SpanCase{"OneByteTwice", SpanBody({"2-8", "8-14"}),
                               "the server sent the same part of the archive twice"},
                      SpanCase{"OneByteBeyond", SpanBody({"2-15"}),
                               "the server sent a part of the archive that was not asked for"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
