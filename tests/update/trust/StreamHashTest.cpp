// The hash of a stream handed on in pieces equals the hash of its bytes at
// once, on either side of the switch to the hashing thread and past the
// bound on pieces waiting for it.
#include "update/trust/StreamHash.h"

#include <gtest/gtest.h>
#include <sodium.h>

namespace {

struct Stream {
    const char* name;
    qint64 length;
    qint64 piece;
};

class StreamHashTest : public ::testing::TestWithParam<Stream> {};

TEST_P(StreamHashTest, MatchesTheWholeBytesHash) {
    QByteArray bytes(qsizetype(GetParam().length), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131) ^ (i >> 11));
    QByteArray expected(crypto_generichash_BYTES, Qt::Uninitialized);
    ASSERT_EQ(crypto_generichash(reinterpret_cast<unsigned char*>(expected.data()),
                                 size_t(expected.size()),
                                 reinterpret_cast<const unsigned char*>(bytes.constData()),
                                 size_t(bytes.size()), nullptr, 0),
              0);

    StreamHash hash(crypto_generichash_BYTES);
    const qsizetype half = bytes.size() / 2;
    for (qsizetype at = 0; at < half; at += GetParam().piece)
        hash.Add(bytes.constData() + at, qMin<qsizetype>(GetParam().piece, half - at));
    hash.Digest(); // asked midway: the stream may go on after
    for (qsizetype at = half; at < bytes.size(); at += GetParam().piece)
        hash.Add(bytes.constData() + at, qMin<qsizetype>(GetParam().piece, bytes.size() - at));
    EXPECT_EQ(hash.Digest(), expected);
    EXPECT_EQ(hash.Digest(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamHashTest,
    ::testing::Values(Stream{"Empty", 0, 1}, Stream{"InPlaceOnly", 1000, 7},
                      Stream{"AcrossTheSwitch", StreamHash::inPlaceBytes * 2 + 3, 65536},
                      Stream{"PastThePendingBound", StreamHash::pendingBytes * 3, 1 << 20}),
    [](const ::testing::TestParamInfo<Stream>& stream) { return std::string(stream.param.name); });

} // namespace
