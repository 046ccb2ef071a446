#include "linear/digit_budget.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "linear/rational.hpp"

namespace mekra::linear {
namespace {

// 10^(18 k) + 1 / 3: a wide value of about 60 k bits.
Rational wide_value(int k) {
    Rational q = Rational::make(1, 3);
    for (int i = 0; i < k; ++i) q = q * Rational::integer(1000000000000000000);
    return q + Rational::make(1, 3);
}

TEST(DigitBudget, LivingValuesPastTheLimitThrowWithTheLimitInTheMessage) {
    DigitBudget budget(4096);
    std::vector<Rational> kept;
    try {
        for (int i = 0; i < 1000; ++i) kept.push_back(wide_value(10));
        FAIL() << "no refusal";
    } catch (const MemoryBudgetExceeded& e) {
        EXPECT_STREQ(e.what(), "the exact values of this program need more than 4096 bytes of digits");
    }
    EXPECT_GT(kept.size(), 3u);
}

TEST(DigitBudget, ReleasedValuesGiveTheirBytesBack) {
    DigitBudget budget(4096);
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(wide_value(10).is_small());
}

TEST(DigitBudget, TheInnermostBudgetCountsAndOuterOnesResume) {
    const Rational outside = wide_value(100);  // no budget: no limit
    DigitBudget outer(std::size_t{1} << 20);
    {
        DigitBudget inner(64);
        EXPECT_THROW(wide_value(10), MemoryBudgetExceeded);
        EXPECT_TRUE(wide_value(0).is_small());  // small values cost nothing
    }
    EXPECT_FALSE(wide_value(10).is_small());
    EXPECT_EQ(DigitBudget::CALL_LIMIT, std::size_t{4} << 30);
}

TEST(DigitBudget, LimitsInMebibytesAreNamedSo) {
    DigitBudget budget(std::size_t{1} << 20);
    std::vector<Rational> kept;
    try {
        for (;;) kept.push_back(wide_value(1000));  // about 7.5 KB each
    } catch (const MemoryBudgetExceeded& e) {
        EXPECT_STREQ(e.what(), "the exact values of this program need more than 1 MiB of digits");
    }
}

}  // namespace
}  // namespace mekra::linear
