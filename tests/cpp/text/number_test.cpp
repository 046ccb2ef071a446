#include "text/number.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace mekra::text {
namespace {

// The literal reading of a token: at most one leading "+" directly before a digit, then what
// std::from_chars takes as the whole token.
template <class T>
std::optional<T> reference(std::string_view token) {
    if (!token.empty() && token.front() == '+') {
        token.remove_prefix(1);
        if (token.empty() || !is_digit(token.front())) return std::nullopt;
    }
    T value{};
    const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc() || ptr != token.data() + token.size()) return std::nullopt;
    return value;
}

template <class T>
class IntegerText : public testing::Test {};
using Types = testing::Types<std::int32_t, std::int64_t, std::uint32_t, std::uint64_t>;
TYPED_TEST_SUITE(IntegerText, Types);

TYPED_TEST(IntegerText, AgreesWithTheLiteralReadingOnEdgesAndRandomTokens) {
    using T = TypeParam;
    std::vector<std::string> tokens = {"",
                                       "+",
                                       "-",
                                       "0",
                                       "+0",
                                       "-0",
                                       "007",
                                       "-007",
                                       "+-1",
                                       "1-",
                                       " 1",
                                       "1 ",
                                       "2147483647",
                                       "2147483648",
                                       "-2147483648",
                                       "-2147483649",
                                       "4294967295",
                                       "4294967296",
                                       "9223372036854775807",
                                       "9223372036854775808",
                                       "-9223372036854775808",
                                       "-9223372036854775809",
                                       "18446744073709551615",
                                       "18446744073709551616",
                                       "99999999999999999999999",
                                       "000000000000000000000000000001",
                                       "１"};
    std::mt19937_64 random(7);
    const std::string alphabet = "0123456789+-a";
    for (int n = 0; n < 20000; ++n) {
        std::string token;
        const std::size_t length = random() % 24;
        for (std::size_t i = 0; i < length; ++i)
            token += random() % 4 == 0 ? alphabet[random() % alphabet.size()]
                                       : static_cast<char>('0' + random() % 10);
        tokens.push_back(token);
    }
    for (const std::string& token : tokens) {
        EXPECT_EQ(parse_integer<T>(token), reference<T>(token)) << "'" << token << "'";
        const std::optional<T> digits_only =
            is_digit(token.empty() ? 'x' : token.front()) ? reference<T>(token) : std::nullopt;
        EXPECT_EQ(parse_digits<T>(token), digits_only) << "'" << token << "'";
    }
}

TEST(ScanInteger, StopsAtTheFirstByteThatIsNoDigit) {
    const IntegerScan scan = scan_integer("x -42 0", 2);
    EXPECT_EQ(scan.end, 5u);
    EXPECT_EQ(scan.digits, 2u);
    EXPECT_TRUE(scan.negative);
    EXPECT_EQ(integer_value<std::int32_t>(scan), -42);
    EXPECT_EQ(scan_integer("-5", 0, false).digits, 0u);
}

}  // namespace
}  // namespace mekra::text
