#include "catalogue/VersionNumbers.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct SplitCase {
    const char* text;
    std::vector<int> parts;
};

class SplitVersion : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitVersion, GivesTheNumbersOfTheNonEmptyParts)
{
    EXPECT_EQ(splitVersion(GetParam().text), GetParam().parts);
    EXPECT_EQ(splitVersionLeniently(GetParam().text), GetParam().parts);
}

INSTANTIATE_TEST_SUITE_P(Texts, SplitVersion,
                         ::testing::Values(SplitCase{"1.2", {1, 2}}, SplitCase{"1.10", {1, 10}},
                                           SplitCase{"1.2.0", {1, 2, 0}}, SplitCase{"4b", {4}},
                                           SplitCase{"..1..2.", {1, 2}}, SplitCase{" 3.-1.+7", {3, -1, 7}},
                                           SplitCase{"", {}}, SplitCase{"...", {}}, SplitCase{"2.0.4b7", {2, 0, 4}}));

TEST(SplitVersionFailures, StrictThrowsAndLenientCountsZero)
{
    EXPECT_THROW(splitVersion("x"), std::invalid_argument);
    EXPECT_THROW(splitVersion("1.x.3"), std::invalid_argument);
    EXPECT_THROW(splitVersion("1.99999999999"), std::out_of_range);
    EXPECT_EQ(splitVersionLeniently("x"), std::vector<int>{0});
    EXPECT_EQ(splitVersionLeniently("1.x.3"), (std::vector<int>{1, 0, 3}));
    EXPECT_EQ(splitVersionLeniently("1.99999999999"), (std::vector<int>{1, 0}));
}

struct CompareCase {
    std::vector<int> a, b;
    int expected;
};

class CompareVersions : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareVersions, OrdersNumericallyAndLongerIsGreater)
{
    EXPECT_EQ(compareVersions(GetParam().a, GetParam().b), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, CompareVersions,
    ::testing::Values(CompareCase{{1, 10}, {1, 9}, 1}, CompareCase{{1, 9}, {1, 10}, -1},
                      CompareCase{{1, 2}, {1, 2, 0}, -1}, CompareCase{{1, 2, 0}, {1, 2}, 1},
                      CompareCase{{1, 2}, {1, 2}, 0}, CompareCase{{}, {}, 0}, CompareCase{{}, {0}, -1},
                      CompareCase{{2}, {1, 9, 9}, 1}, CompareCase{{-1}, {0}, -1}));

}  // namespace
