#include <gtest/gtest.h>

#include "record/version_gate.h"
#include "run/number_rule.h"
#include "run/stage_results.h"

struct VerdictCase {
    int32_t installed;
    int32_t patch;
    int32_t minimum;
    int expected;
};

void PrintTo(const VerdictCase& c, std::ostream* out)
{
    *out << "I=" << c.installed << " P=" << c.patch << " M=" << c.minimum << " -> " << c.expected;
}

class VersionGate : public testing::TestWithParam<VerdictCase> {};

TEST_P(VersionGate, Verdict)
{
    const VerdictCase& c = GetParam();
    EXPECT_EQ(versionVerdict(c.patch, c.installed, c.minimum), c.expected)
        << "I=" << c.installed << " P=" << c.patch << " M=" << c.minimum;
}

INSTANTIATE_TEST_SUITE_P(Table, VersionGate, testing::Values(
    // The documented table.
    VerdictCase{1005, 1006, 1004, RESULT_OK},
    VerdictCase{1004, 1006, 1004, RESULT_OK},
    VerdictCase{1003, 1006, 1004, RESULT_TOO_OLD},
    VerdictCase{1006, 1006, 0, RESULT_UP_TO_DATE},
    VerdictCase{1006, 1006, 99999, RESULT_UP_TO_DATE},
    VerdictCase{1007, 1006, 1004, RESULT_NEWER},
    VerdictCase{1999, 2000, 0, RESULT_OK},
    VerdictCase{1005, 2003, 1004, RESULT_OK},
    // Builds are the last three digits only: a minimum across a thousand still bites.
    VerdictCase{2001, 3005, 1003, RESULT_TOO_OLD},
    VerdictCase{1001, 1003, 5002, RESULT_TOO_OLD},
    VerdictCase{1002, 1003, 5999, RESULT_OK},
    // Negative versions: the remainder keeps the sign (-1003 % 1000 is -3, not 997).
    VerdictCase{-1003, -1001, -1002, RESULT_TOO_OLD},
    VerdictCase{-1003, -1001, -1004, RESULT_OK},
    VerdictCase{-1005, -1001, -1003, RESULT_TOO_OLD},
    VerdictCase{-5, 3, 0, RESULT_TOO_OLD},
    VerdictCase{-1, 1, 0, RESULT_TOO_OLD},
    VerdictCase{-1, 0, 0, RESULT_OK},
    VerdictCase{0, -1, 0, RESULT_NEWER},
    VerdictCase{0, 0, 0, RESULT_UP_TO_DATE},
    // The extremes of 32 bits compare as signed numbers, with no overflow in b(I) + 1.
    VerdictCase{INT32_MAX, INT32_MIN, 0, RESULT_NEWER},
    VerdictCase{INT32_MIN, INT32_MAX, INT32_MAX, RESULT_TOO_OLD},
    VerdictCase{INT32_MIN, INT32_MAX, INT32_MIN, RESULT_OK},
    VerdictCase{INT32_MAX - 1, INT32_MAX, INT32_MAX, RESULT_OK},
    VerdictCase{INT32_MIN, INT32_MIN, 0, RESULT_UP_TO_DATE}));

TEST(VersionGateText, NonNumericPatchVersionCountsAsZero)
{
    EXPECT_EQ(versionVerdict(readNumber("beta"), 1005, readNumber("1004")), RESULT_NEWER);
    EXPECT_EQ(versionVerdict(readNumber("beta"), 0, 0), RESULT_UP_TO_DATE);
}
