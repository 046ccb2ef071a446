#include "linear/rational.hpp"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "core/invariant.hpp"

namespace mekra::linear {
namespace {

using i128 = __int128;
using u128 = unsigned __int128;

constexpr std::int64_t MIN = INT64_MIN;
constexpr std::int64_t MAX = INT64_MAX;

void expect_value(Rational q, std::int64_t n, std::int64_t d) {
    EXPECT_EQ(q.numerator(), n);
    EXPECT_EQ(q.denominator(), d);
}

void expect_zero_denominator(auto&& f) {
    try {
        f();
        ADD_FAILURE() << "expected an invariant failure";
    } catch (const InvariantFailure& e) {
        EXPECT_EQ(e.message(), "Rational denominator cannot be zero");
    }
}

// ---------------------------------------------------------------------------------------
// A literal reference: the written formulas evaluated in 128 bits (enough for operands of 64
// bits), reduced by Euclid's algorithm, written as Rational::to_string writes it.

std::string decimal(i128 v) {
    if (v == 0) return "0";
    bool negative = v < 0;
    u128 m = negative ? static_cast<u128>(-v) : static_cast<u128>(v);
    std::string digits;
    while (m != 0) {
        digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    }
    if (negative) digits.push_back('-');
    return std::string(digits.rbegin(), digits.rend());
}

struct Reference {
    std::string text;  // as Rational::to_string writes it
    bool fits;         // numerator and denominator fit 64 bits
};

Reference reference_value(i128 n, i128 d) {
    u128 a = n < 0 ? static_cast<u128>(-n) : static_cast<u128>(n);
    u128 b = d < 0 ? static_cast<u128>(-d) : static_cast<u128>(d);
    while (b != 0) {
        u128 r = a % b;
        a = b;
        b = r;
    }
    u128 g = a;  // gcd, and |d| when n is 0
    if (d < 0) {
        n = -n;
        d = -d;
    }
    n /= static_cast<i128>(g);
    d /= static_cast<i128>(g);
    return {d == 1 ? decimal(n) : decimal(n) + "/" + decimal(d), n >= MIN && n <= MAX && d <= MAX};
}

std::string reference_make(i128 n, i128 d) { return reference_value(n, d).text; }

enum class Op { Add, Sub, Mul, Div };

Reference reference(Op op, const Rational& a, const Rational& b) {
    i128 p = a.numerator(), q = a.denominator(), r = b.numerator(), s = b.denominator();
    switch (op) {
        case Op::Add:
            return reference_value(p * s + r * q, q * s);
        case Op::Sub:
            return reference_value(p * s - q * r, q * s);
        case Op::Mul:
            return reference_value(p * r, q * s);
        case Op::Div:
            return reference_value(p * s, q * r);
    }
    return {};
}

Rational apply(Op op, const Rational& a, const Rational& b) {
    switch (op) {
        case Op::Add:
            return a + b;
        case Op::Sub:
            return a - b;
        case Op::Mul:
            return a * b;
        case Op::Div:
            return a / b;
    }
    return Rational();
}

// Random 64-bit integers concentrated where faults hide: small values, values near the ends
// of the range, powers of two, products of small primes.
std::int64_t random_int(std::mt19937_64& rng) {
    switch (rng() % 6) {
        case 0:
            return static_cast<std::int64_t>(rng() % 21) - 10;
        case 1:
            return static_cast<std::int64_t>(rng() % 2001) - 1000;
        case 2:
            return static_cast<std::int64_t>(rng());
        case 3: {
            std::int64_t k = static_cast<std::int64_t>(rng() % 5);
            return rng() % 2 ? MAX - k : MIN + k;
        }
        case 4: {
            std::int64_t v = std::int64_t{1} << (rng() % 63);
            return rng() % 2 ? v : -v;
        }
        default: {
            std::int64_t v = 1;
            for (int k = 0; k < 12; ++k) {
                std::int64_t f = std::int64_t{1} + static_cast<std::int64_t>(rng() % 7);
                if (__builtin_mul_overflow(v, f, &v)) break;
            }
            return rng() % 2 ? v : -v;
        }
    }
}

Rational random_rational(std::mt19937_64& rng) {
    for (;;) {
        std::int64_t n = random_int(rng), d = random_int(rng);
        if (d == 0) continue;
        if (rng() % 4 == 0) d = 1;
        Rational q = Rational::make(n, d);
        if (q.is_small()) return q;  // operands of 64 bits, for the 128-bit reference
    }
}

// ---------------------------------------------------------------------------------------

TEST(RationalTest, MakeNormalises) {
    expect_value(Rational::make(0, -5), 0, 1);
    expect_value(Rational::make(0, 7), 0, 1);
    expect_value(Rational::make(6, -4), -3, 2);
    expect_value(Rational::make(-6, -4), 3, 2);
    expect_value(Rational::make(MIN, 1), MIN, 1);
    expect_value(Rational::make(MIN, 2), MIN / 2, 1);
    expect_value(Rational::make(MIN, MIN), 1, 1);
    expect_value(Rational::make(2, MIN), -1, std::int64_t{1} << 62);
    expect_value(Rational::make(MAX, -MAX), -1, 1);
    expect_zero_denominator([] { Rational::make(1, 0); });
    expect_zero_denominator([] { Rational::make(0, 0); });
}

TEST(RationalTest, MakeCarriesValuesBeyond64Bits) {
    EXPECT_EQ(Rational::make(MIN, -1).to_string(), "9223372036854775808");
    EXPECT_EQ(Rational::make(1, MIN).to_string(), "-1/9223372036854775808");
    EXPECT_EQ(Rational::make(MIN + 1, MIN).to_string(), "9223372036854775807/9223372036854775808");
    EXPECT_FALSE(Rational::make(MIN, -1).is_small());
    EXPECT_TRUE(Rational::make(MIN, 1).is_small());
}

TEST(RationalTest, IntegerIsBuiltDirectly) {
    expect_value(Rational::integer(7), 7, 1);
    expect_value(Rational(), 0, 1);
    EXPECT_TRUE(Rational::integer(-3).is_integer());
    EXPECT_TRUE(Rational::integer(-3).is_negative());
    EXPECT_TRUE(Rational().is_zero());
    EXPECT_TRUE(Rational::make(1, 2).is_positive());
    EXPECT_FALSE(Rational::make(1, 2).is_integer());
}

TEST(RationalTest, ArithmeticExamples) {
    Rational half = Rational::make(1, 2), third = Rational::make(1, 3);
    expect_value(half + third, 5, 6);
    expect_value(half - half, 0, 1);
    expect_value(Rational::make(2, 3) * Rational::make(3, 2), 1, 1);
    expect_value(half / Rational::make(-1, 4), -2, 1);
    expect_value(-Rational(), 0, 1);
    expect_value(-Rational::make(3, 4), -3, 4);
    expect_value(Rational::make(1, 6) + Rational::make(1, 3), 1, 2);
    expect_value(Rational::make(1, 6) - Rational::make(2, 3), -1, 2);
    expect_zero_denominator([&] { return half / Rational(); });
    expect_zero_denominator([&] { return Rational() / Rational(); });
}

TEST(RationalTest, ArithmeticBeyond64BitsIsExact) {
    Rational max = Rational::integer(MAX), min = Rational::integer(MIN), one = Rational::integer(1);
    EXPECT_EQ((max + one).to_string(), "9223372036854775808");
    EXPECT_EQ((min - one).to_string(), "-9223372036854775809");
    EXPECT_EQ((-min).to_string(), "9223372036854775808");
    EXPECT_EQ((-Rational::make(MIN, 3)).to_string(), "9223372036854775808/3");
    EXPECT_EQ((max * Rational::integer(2)).to_string(), "18446744073709551614");
    EXPECT_EQ((min / Rational::integer(-1)).to_string(), "9223372036854775808");
    EXPECT_EQ((Rational::make(1, MAX) * Rational::make(1, 2)).to_string(), "1/18446744073709551614");
    EXPECT_EQ((max - min).to_string(), "18446744073709551615");
    // Results that fit again come back to the inline form, whatever the operands.
    const Rational big = max + one;
    EXPECT_TRUE((big - one).is_small());
    EXPECT_EQ(big - one, max);
    EXPECT_EQ(big / big, one);
    EXPECT_EQ(big - big, Rational());
    EXPECT_TRUE((big * Rational::make(1, 2)).is_small());
    expect_value(min - min, 0, 1);
    expect_value(min + max, -1, 1);
    expect_value(Rational::make(MAX, 2) * Rational::make(2, MAX), 1, 1);
    expect_value(Rational::make(MIN + 1, 3) + Rational::make(1, 3), (MIN + 2) / 3, 1);
}

TEST(RationalTest, WideValuesCopyMoveAndCompare) {
    const Rational big = Rational::parse("123456789012345678901234567891/1024");
    Rational copy = big;
    EXPECT_EQ(copy, big);
    Rational moved = std::move(copy);
    EXPECT_EQ(moved, big);
    EXPECT_EQ(copy, Rational());  // a moved-from value is zero
    copy = moved;
    moved = Rational::integer(3);  // a wide value replaced by a small one
    EXPECT_EQ(copy.to_string(), "123456789012345678901234567891/1024");
    EXPECT_TRUE(big.is_positive());
    EXPECT_TRUE((-big).is_negative());
    EXPECT_FALSE(big.is_integer());
    EXPECT_TRUE(Rational::parse("-100000000000000000000000").is_integer());
    EXPECT_TRUE(Rational::integer(MAX) < big);
    EXPECT_TRUE(-big < Rational::integer(MIN));
    EXPECT_FALSE(big < big);
    EXPECT_NE(big, Rational::integer(MAX));
}

TEST(RationalTest, Comparisons) {
    EXPECT_TRUE(Rational::make(1, 3) < Rational::make(1, 2));
    EXPECT_TRUE(Rational::make(-1, 2) < Rational());
    EXPECT_TRUE(Rational::make(1, 2) > Rational::make(1, 3));
    EXPECT_FALSE(Rational::make(1, 2) < Rational::make(1, 2));
    // Cross products beyond 64 bits compare exactly.
    EXPECT_TRUE(Rational::make(MAX - 1, MAX) < Rational::make(MAX, MAX - 1));
    EXPECT_TRUE(Rational::integer(MIN) < Rational::make(MIN + 1, MAX));
    EXPECT_EQ(Rational::make(2, 4), Rational::make(1, 2));
}

TEST(RationalTest, FromF64Examples) {
    expect_value(Rational::from_f64(0.0), 0, 1);
    expect_value(Rational::from_f64(-0.0), 0, 1);
    expect_value(Rational::from_f64(3.0), 3, 1);
    expect_value(Rational::from_f64(-2.5), -5, 2);
    expect_value(Rational::from_f64(1e-9), 1, 1000000000);
    expect_value(Rational::from_f64(1e-10), 0, 1);
    expect_value(Rational::from_f64(4e-10), 0, 1);
    expect_value(Rational::from_f64(5e-10), 1, 1000000000);  // halves away from zero
    expect_value(Rational::from_f64(std::nan("")), 0, 1);
    expect_value(Rational::from_f64(std::numeric_limits<double>::infinity()), MAX, 1000000000);
    expect_value(Rational::from_f64(-std::numeric_limits<double>::infinity()), -18014398509481984, 1953125);
    expect_value(Rational::from_f64(1e19), MAX, 1);
    expect_value(Rational::from_f64(-1e19), MIN, 1);
    expect_value(Rational::from_f64(12345678901.5), MAX, 1000000000);
    expect_value(Rational::from_f64(0.1), 1, 10);
    expect_value(Rational::from_f64(-0.75), -3, 4);
    expect_value(Rational::from_f64(0.125), 1, 8);
    expect_value(Rational::from_f64(123.456789012), 30864197253, 250000000);
    expect_value(Rational::from_f64(1.0 / 3.0), 333333333, 1000000000);
}

TEST(RationalTest, ToF64) {
    EXPECT_EQ(Rational::make(1, 3).to_f64(), 1.0 / 3.0);
    EXPECT_EQ(Rational::make(-5, 2).to_f64(), -2.5);
    EXPECT_EQ(Rational::integer(MAX).to_f64(), 9223372036854775808.0);
}

struct NearestCase {
    std::string value;
    double nearest;
};

// 10^401: its reciprocal lies below the least subnormal, itself beyond the double range.
const std::string kTenTo401 = "1" + std::string(401, '0');

class WideToF64 : public ::testing::TestWithParam<NearestCase> {};

// Beyond 64 bits: the double nearest to the exact value, ties to even, +-inf beyond the range.
TEST_P(WideToF64, IsTheNearestDouble) {
    const Rational q = Rational::parse(GetParam().value);
    ASSERT_FALSE(q.is_small());
    const double got = q.to_f64();
    EXPECT_EQ(got, GetParam().nearest) << GetParam().value;
    EXPECT_EQ(std::signbit(got), std::signbit(GetParam().nearest)) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    RationalTest, WideToF64,
    ::testing::Values(NearestCase{"9223372036854775808", 0x1p63},
                      NearestCase{"1180591620717411303425", 0x1p70},  // 2^70 + 1
                      NearestCase{"-1180591620717411303424", -0x1p70},
                      NearestCase{"1180591620717411303425/3", 0x1p70 / 3},     // (2^70 + 1) / 3
                      NearestCase{"1180591620717411434496", 0x1p70},           // 2^70 + 2^17: a tie, to even
                      NearestCase{"1180591620717411434497", 0x1p70 + 0x1p18},  // just above the tie
                      NearestCase{"1180591620717411696640",
                                  0x1p70 + 0x1p19},  // 2^70 + 3 * 2^17: a tie, to even
                      NearestCase{"1/9223372036854775808", 0x1p-63},
                      NearestCase{"1/36893488147419103232", 0x1p-65}, NearestCase{"1/" + kTenTo401, 0.0},
                      NearestCase{"-1/" + kTenTo401, -0.0},
                      NearestCase{kTenTo401, std::numeric_limits<double>::infinity()},
                      NearestCase{"-" + kTenTo401, -std::numeric_limits<double>::infinity()}));

// The subnormal range and the top of the double range, where the spacing changes.
TEST(RationalTest, WideToF64AtTheEndsOfTheRange) {
    auto power_of_two = [](int k) {  // 2^k as a Rational
        Rational q = Rational::integer(1);
        const Rational two = Rational::integer(2), half = Rational::make(1, 2);
        for (int i = 0; i < (k < 0 ? -k : k); ++i) q = q * (k < 0 ? half : two);
        return q;
    };
    const double smallest = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(power_of_two(-1074).to_f64(), smallest);
    EXPECT_EQ((power_of_two(-1075) * Rational::integer(3)).to_f64(), 2 * smallest);  // tie, even
    EXPECT_EQ(power_of_two(-1075).to_f64(), 0.0);                                    // tie, even
    EXPECT_EQ((power_of_two(-1075) + power_of_two(-1200)).to_f64(), smallest);
    EXPECT_EQ(power_of_two(1023).to_f64(), 0x1p1023);
    EXPECT_EQ(power_of_two(1024).to_f64(), std::numeric_limits<double>::infinity());
    const Rational largest = Rational::parse(
        "179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632766878"
        "171540458953514382464234321326889464182768467546703537516986049910576551282076245490090389328944075"
        "868508455133942304583236903222948165808559332123348274797826204144723168738177180919299881250404026"
        "184124858368");
    EXPECT_EQ(largest.to_f64(), std::numeric_limits<double>::max());
    // Half an ulp above the largest double rounds to even, which is past the range.
    EXPECT_EQ((largest + power_of_two(970)).to_f64(), std::numeric_limits<double>::infinity());
    EXPECT_EQ((largest + power_of_two(969)).to_f64(), std::numeric_limits<double>::max());
}

TEST(RationalTest, ArithmeticMatchesLiteralReference) {
    std::mt19937_64 rng(20261207);
    const Op ops[] = {Op::Add, Op::Sub, Op::Mul, Op::Div};
    int wide = 0;
    for (int i = 0; i < 100000; ++i) {
        Rational a = random_rational(rng), b = random_rational(rng);
        Op op = ops[i % 4];
        if (op == Op::Div && b.is_zero()) {
            expect_zero_denominator([&] { return a / b; });
            continue;
        }
        const Reference want = reference(op, a, b);
        const Rational got = apply(op, a, b);
        ASSERT_EQ(want.text, got.to_string())
            << a.to_string() << " op" << static_cast<int>(op) << " " << b.to_string();
        // The form is canonical: inline exactly when the value fits 64 bits.
        ASSERT_EQ(got.is_small(), want.fits) << want.text;
        if (!got.is_small()) ++wide;
        // Comparisons agree with the sign of the exact difference.
        i128 cross = static_cast<i128>(a.numerator()) * b.denominator() -
                     static_cast<i128>(b.numerator()) * a.denominator();
        ASSERT_EQ(a < b, cross < 0);
        ASSERT_EQ(a > b, cross > 0);
    }
    // Both sides of the 64-bit boundary were exercised.
    EXPECT_GT(wide, 1000);
    EXPECT_LT(wide, 75000);
}

// The tableau's in-place step on inline operands, through each of its cases (64-bit integers,
// unreduced 64-bit fractions, the reduced 128-bit cases, results past 64 bits), equals the
// separate product and difference.
TEST(RationalTest, SubtractProductOfInlineOperandsMatchesSeparateSteps) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 100000; ++i) {
        Rational entry = random_rational(rng);
        const Rational f = random_rational(rng), p = random_rational(rng);
        const Rational want = entry - f * p;
        Rational::subtract_product(entry, f, p);
        ASSERT_EQ(entry.to_string(), want.to_string()) << f.to_string() << " * " << p.to_string();
        ASSERT_EQ(entry.is_small(), want.is_small());
    }
    // An unreduced product far past 64 bits whose reduced value is small stays inline.
    Rational entry = Rational::make(5, 7);
    Rational::subtract_product(entry, Rational::make(MAX, 3), Rational::make(3, MAX));
    expect_value(entry, -2, 7);
}

TEST(RationalTest, NegationMatchesLiteralReference) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        Rational a = random_rational(rng);
        ASSERT_EQ((-a).to_string(), reference_make(-static_cast<i128>(a.numerator()), a.denominator()));
    }
}

// Chains of operations far past 64 bits against GMP's rationals driven directly: the glue
// (inline and wide forms, moving between them, signs, in-place updates) keeps exact values.
TEST(RationalTest, WideChainsMatchGmp) {
    std::mt19937_64 rng(11);
    mpq_t want, operand;
    mpq_init(want);
    mpq_init(operand);
    for (int chain = 0; chain < 100; ++chain) {
        Rational got = random_rational(rng);
        mpq_set_str(want, got.to_string().c_str(), 10);
        for (int step = 0; step < 40; ++step) {
            const Rational b = random_rational(rng);
            mpq_set_str(operand, b.to_string().c_str(), 10);
            mpq_canonicalize(operand);
            switch (rng() % 6) {
                case 0:
                    got = got + b;
                    mpq_add(want, want, operand);
                    break;
                case 1:
                    got = got - b;
                    mpq_sub(want, want, operand);
                    break;
                case 2:
                    got = got * b;
                    mpq_mul(want, want, operand);
                    break;
                case 3:
                    if (b.is_zero()) break;
                    got = got / b;
                    mpq_div(want, want, operand);
                    break;
                case 4: {  // the tableau's in-place step with a wide factor
                    const Rational f = got * Rational::make(1, 3);
                    Rational::subtract_product(got, f, b);  // got * (1 - b / 3)
                    mpq_t third;
                    mpq_init(third);
                    mpq_set_ui(third, 1, 3);
                    mpq_mul(third, third, operand);
                    mpq_sub(third, want, third);  // a scratch: want * (1 - b / 3) = want - want * b / 3
                    mpq_mul(third, want, third);
                    mpq_clear(third);
                    mpq_init(third);
                    mpq_set_ui(third, 1, 3);
                    mpq_mul(third, third, operand);
                    mpq_mul(third, want, third);
                    mpq_sub(want, want, third);
                    mpq_clear(third);
                    break;
                }
                default:
                    got = -got;
                    mpq_neg(want, want);
                    break;
            }
            char* text = mpq_get_str(nullptr, 10, want);
            ASSERT_EQ(got.to_string(), text) << "chain " << chain << " step " << step;
            ASSERT_EQ(got.is_small(),
                      mpz_fits_slong_p(mpq_numref(want)) && mpz_fits_slong_p(mpq_denref(want)));
            std::free(text);
            if (mpz_sizeinbase(mpq_numref(want), 2) + mpz_sizeinbase(mpq_denref(want), 2) > 4000) break;
        }
    }
    mpq_clear(want);
    mpq_clear(operand);
}

// from_f64 step by step as written: whole numbers saturate, everything else is scaled by 10^9,
// rounded half away from zero, saturated and reduced by Euclid's algorithm.
struct Exact {
    std::int64_t n, d;
};

Exact reference_from_f64(double x) {
    auto saturating = [](double v) -> std::int64_t {
        if (v != v) return 0;
        if (v > 9223372036854775807.0) return MAX;
        if (v < -9223372036854775808.0) return MIN;
        return static_cast<std::int64_t>(v);
    };
    if (x == 0.0) return {0, 1};
    double t = std::trunc(x);
    if (x - t == 0.0) return {saturating(x), 1};
    double scaled = x * 1e9;
    double rounded = std::round(scaled);
    std::int64_t n = saturating(rounded);
    std::uint64_t a = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    std::uint64_t b = 1000000000;
    while (b != 0) {
        std::uint64_t r = a % b;
        a = b;
        b = r;
    }
    std::int64_t g = static_cast<std::int64_t>(a);
    if (g >= 2) return {n / g, 1000000000 / g};
    return {n, 1000000000};
}

TEST(RationalTest, FromF64MatchesLiteralReference) {
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 100000; ++i) {
        double x;
        switch (i % 4) {
            case 0: {  // arbitrary bit patterns: NaNs, infinities, subnormals, huge values
                std::uint64_t bits = rng();
                std::memcpy(&x, &bits, sizeof x);
                break;
            }
            case 1:
                x = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 40) - 20);
                break;
            case 2:
                x = static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000) / 1000.0;
                break;
            default:
                x = std::ldexp(unit(rng), static_cast<int>(rng() % 140) - 70);
                break;
        }
        Exact want = reference_from_f64(x);
        Rational got = Rational::from_f64(x);
        ASSERT_EQ(got.numerator(), want.n) << x;
        ASSERT_EQ(got.denominator(), want.d) << x;
        ASSERT_GT(got.denominator(), 0);
    }
}

}  // namespace
}  // namespace mekra::linear
