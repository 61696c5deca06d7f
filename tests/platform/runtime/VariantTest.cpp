// Tagged values: kinds, byte images on the wire and back, the numeric test
// and rounding to whole numbers.
#include "platform/runtime/Variant.h"

#include <gtest/gtest.h>

namespace {

struct ImageCase {
    const char* name;
    Variant value;
    std::int32_t kind;
    QByteArray bytes;
};

class ByteImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ByteImageTest, ValueHasItsKindAndExactBytesAndReadsBack) {
    const ImageCase& c = GetParam();
    EXPECT_EQ(c.value.VarType(), c.kind);
    ASSERT_TRUE(c.value.ByteImage().has_value());
    EXPECT_EQ(c.value.ByteImage()->toHex(' '), c.bytes.toHex(' '));
    if (Variant::FixedSize(c.kind) != 0) {
        EXPECT_EQ(Variant::FixedSize(c.kind), c.bytes.size());
        EXPECT_EQ(Variant::FromBytes(c.kind, c.bytes), c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ByteImageTest,
    ::testing::Values(
        ImageCase{"Integer", Variant::Integer(-2), vbInteger, QByteArray::fromHex("feff")},
        ImageCase{"Long", Variant(1), vbLong, QByteArray::fromHex("01000000")},
        ImageCase{"LongNegative", Variant(-2), vbLong, QByteArray::fromHex("feffffff")},
        ImageCase{"Single", Variant(1.5f), vbSingle, QByteArray::fromHex("0000c03f")},
        ImageCase{"Double", Variant(1.5), vbDouble, QByteArray::fromHex("000000000000f83f")},
        ImageCase{"Currency", Variant::Currency(12345), vbCurrency,
                  QByteArray::fromHex("3930000000000000")},
        ImageCase{"Date", Variant::Date(2.5), vbDate, QByteArray::fromHex("0000000000000440")},
        ImageCase{"BooleanTrue", Variant(true), vbBoolean, QByteArray::fromHex("ffff")},
        ImageCase{"BooleanFalse", Variant(false), vbBoolean, QByteArray::fromHex("0000")},
        ImageCase{"Byte", Variant::Byte(65), vbByte, QByteArray::fromHex("41")},
        ImageCase{"String", Variant("A\xff"), vbString, QByteArray("A\xff")},
        ImageCase{"ByteArray", Variant::ByteArray(QByteArray("\0\1", 2)), vbByteArray,
                  QByteArray("\0\1", 2)}),
    [](const ::testing::TestParamInfo<ImageCase>& p) { return std::string(p.param.name); });

TEST(VariantTest, KindsWithoutAByteImageAreRefused) {
    for (const Variant& v : {Variant(), Variant::Null(), Variant::Nothing(), Variant::Error(5),
                             Variant::Decimal(1.0), Variant::Missing()})
        EXPECT_FALSE(v.ByteImage().has_value()) << v.VarType();
    EXPECT_EQ(vbByteArray, 8209);
}

TEST(VariantTest, MissingIsTheParamNotFoundError) {
    EXPECT_TRUE(Variant::Missing().IsMissing());
    EXPECT_EQ(Variant::Missing().VarType(), vbError);
    EXPECT_FALSE(Variant::Error(5).IsMissing());
    EXPECT_FALSE(Variant().IsMissing());
}

TEST(VariantTest, NumericTestAcceptsNumbersAndTextThatReadsAsOne) {
    struct Case {
        Variant value;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {Variant(80), 80},
        {Variant("80"), 80},
        {Variant(" 80 "), 80},
        {Variant("-1.5"), -1.5},
        {Variant("1e3"), 1000},
        {Variant("&H10"), 16},
        {Variant(true), -1},
        {Variant(), 0},
        {Variant::Currency(15000), 1.5},
        {Variant("abc"), {}},
        {Variant("80x"), {}},
        {Variant(""), {}},
        {Variant("1.2.3"), {}},
        {Variant::Null(), {}},
        {Variant::Date(1.0), {}},
        {Variant::Missing(), {}},
        {Variant::ByteArray("1"), {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.NumericValue(), c.expected) << c.value.ToText().constData();
        EXPECT_EQ(c.value.IsNumeric(), c.expected.has_value());
    }
}

TEST(VariantTest, RoundingTakesHalvesToEven) {
    EXPECT_EQ(Variant::RoundHalfEven(0.5), 0);
    EXPECT_EQ(Variant::RoundHalfEven(1.5), 2);
    EXPECT_EQ(Variant::RoundHalfEven(2.5), 2);
    EXPECT_EQ(Variant::RoundHalfEven(-0.5), 0);
    EXPECT_EQ(Variant::RoundHalfEven(-1.5), -2);
    EXPECT_EQ(Variant::RoundHalfEven(65535.4), 65535);
}

TEST(VariantTest, TextFormsOfValues) {
    EXPECT_EQ(Variant(42).ToText(), "42");
    EXPECT_EQ(Variant(true).ToText(), "True");
    EXPECT_EQ(Variant(0.25).ToText(), "0.25");
    EXPECT_EQ(Variant("host").ToText(), "host");
    EXPECT_EQ(Variant().ToText(), "");
}

TEST(VariantTest, FixedSizeReadNeedsEnoughBytes) {
    EXPECT_EQ(Variant::FromBytes(vbLong, QByteArray::fromHex("010203")), Variant());
    EXPECT_EQ(Variant::FromBytes(vbLong, QByteArray::fromHex("010000000506")), Variant(1));
    EXPECT_EQ(Variant::FixedSize(vbString), 0);
}

} // namespace
