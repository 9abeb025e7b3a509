#include <gtest/gtest.h>

#include "run/number_rule.h"

struct NumberCase {
    const char* text;
    int32_t expected;
};

void PrintTo(const NumberCase& c, std::ostream* out)
{
    *out << '"' << c.text << "\" -> " << c.expected;
}

class NumberRule : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberRule, ReadsLikeTheScriptFormat)
{
    EXPECT_EQ(readNumber(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Table, NumberRule, testing::Values(
    NumberCase{"1006", 1006},
    NumberCase{"  \t\n\v\f\r42", 42},
    NumberCase{"+7", 7},
    NumberCase{"-7", -7},
    NumberCase{"--7", 0},
    NumberCase{"- 7", 0},
    NumberCase{"12abc34", 12},
    NumberCase{"1.5", 1},
    NumberCase{"abc", 0},
    NumberCase{"", 0},
    NumberCase{"2147483647", 2147483647},
    NumberCase{"2147483648", INT32_MIN},
    NumberCase{"-2147483648", INT32_MIN},
    NumberCase{"4294967295", -1},
    NumberCase{"4294967296", 0},
    NumberCase{"4294967297", 1},
    NumberCase{"-4294967297", -1},
    NumberCase{"99999999999999999999", 1661992959}));
