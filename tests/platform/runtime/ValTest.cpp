// Lenient decimal reading as versions and lengths use it.
#include "platform/runtime/Val.h"

#include <gtest/gtest.h>

namespace {

struct ValCase {
    const char* text;
    double value;
};

class ValTest : public ::testing::TestWithParam<ValCase> {};

TEST_P(ValTest, ReadsTheLeadingNumber) {
    EXPECT_DOUBLE_EQ(Val(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ValTest,
                         ::testing::Values(ValCase{"02.13", 2.13}, ValCase{"2.2.0", 2.2},
                                           ValCase{"  7", 7}, ValCase{"1 2", 12},
                                           ValCase{"-3.5x", -3.5}, ValCase{"+4", 4}, ValCase{"", 0},
                                           ValCase{"abc", 0}, ValCase{".", 0},
                                           ValCase{"12\r\n", 12}, ValCase{"1-2", 1}));

} // namespace
