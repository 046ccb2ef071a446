#include "linear/rational.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>

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
// A literal reference: the written formulas evaluated in 128 bits, reduced by Euclid's
// algorithm, and refused (nullopt) when the reduced value does not fit 64 bits.

struct Exact {
    std::int64_t n, d;
};

std::optional<Exact> reference_make(i128 n, i128 d) {
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
    if (n < MIN || n > MAX || d > MAX) return std::nullopt;
    return Exact{static_cast<std::int64_t>(n), static_cast<std::int64_t>(d)};
}

enum class Op { Add, Sub, Mul, Div };

std::optional<Exact> reference(Op op, Rational a, Rational b) {
    i128 p = a.numerator(), q = a.denominator(), r = b.numerator(), s = b.denominator();
    switch (op) {
        case Op::Add:
            return reference_make(p * s + r * q, q * s);
        case Op::Sub:
            return reference_make(p * s - q * r, q * s);
        case Op::Mul:
            return reference_make(p * r, q * s);
        case Op::Div:
            return reference_make(p * s, q * r);
    }
    return std::nullopt;
}

std::optional<Exact> actual(Op op, Rational a, Rational b) {
    try {
        Rational c;
        switch (op) {
            case Op::Add:
                c = a + b;
                break;
            case Op::Sub:
                c = a - b;
                break;
            case Op::Mul:
                c = a * b;
                break;
            case Op::Div:
                c = a / b;
                break;
        }
        return Exact{c.numerator(), c.denominator()};
    } catch (const RationalOverflow&) {
        return std::nullopt;
    }
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
        try {
            return Rational::make(n, d);
        } catch (const RationalOverflow&) {
        }
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

TEST(RationalTest, MakeRefusesValuesBeyond64Bits) {
    EXPECT_THROW(Rational::make(MIN, -1), RationalOverflow);  // 2^63
    EXPECT_THROW(Rational::make(1, MIN), RationalOverflow);   // denominator 2^63
    EXPECT_THROW(Rational::make(MIN + 1, MIN), RationalOverflow);
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

TEST(RationalTest, ArithmeticOverflow) {
    Rational max = Rational::integer(MAX), min = Rational::integer(MIN), one = Rational::integer(1);
    EXPECT_THROW(max + one, RationalOverflow);
    EXPECT_THROW(min - one, RationalOverflow);
    EXPECT_THROW(-min, RationalOverflow);
    EXPECT_THROW(-Rational::make(MIN, 3), RationalOverflow);
    EXPECT_THROW(max * Rational::integer(2), RationalOverflow);
    EXPECT_THROW(min * Rational::integer(-1), RationalOverflow);
    EXPECT_THROW(min / Rational::integer(-1), RationalOverflow);
    EXPECT_THROW(Rational::make(1, MAX) * Rational::make(1, 2), RationalOverflow);
    EXPECT_THROW(Rational::make(1, MAX) + Rational::make(1, MAX - 1), RationalOverflow);
    // Exact results that fit even though the unreduced products do not.
    expect_value(min - min, 0, 1);
    expect_value(min + max, -1, 1);
    expect_value(Rational::make(MAX, 2) * Rational::make(2, MAX), 1, 1);
    expect_value(Rational::make(1, MAX) - Rational::make(1, MAX), 0, 1);
    expect_value(Rational::make(MIN + 1, 3) + Rational::make(1, 3), (MIN + 2) / 3, 1);
    expect_value(Rational::make(MIN + 1, 2) + Rational::make(-1, 2), MIN / 2, 1);
    EXPECT_THROW(min - Rational::make(-1, 2), RationalOverflow);
    EXPECT_THROW(max - min, RationalOverflow);
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

TEST(RationalTest, ArithmeticMatchesLiteralReference) {
    std::mt19937_64 rng(20261207);
    const Op ops[] = {Op::Add, Op::Sub, Op::Mul, Op::Div};
    int overflows = 0;
    for (int i = 0; i < 200000; ++i) {
        Rational a = random_rational(rng), b = random_rational(rng);
        Op op = ops[i % 4];
        if (op == Op::Div && b.is_zero()) {
            expect_zero_denominator([&] { return a / b; });
            continue;
        }
        auto want = reference(op, a, b);
        auto got = actual(op, a, b);
        ASSERT_EQ(want.has_value(), got.has_value())
            << a.numerator() << "/" << a.denominator() << " op" << static_cast<int>(op) << " "
            << b.numerator() << "/" << b.denominator();
        if (!want) {
            ++overflows;
            continue;
        }
        ASSERT_EQ(want->n, got->n) << a.numerator() << "/" << a.denominator() << " op" << static_cast<int>(op)
                                   << " " << b.numerator() << "/" << b.denominator();
        ASSERT_EQ(want->d, got->d);
        // Comparisons agree with the sign of the exact difference.
        i128 cross = static_cast<i128>(a.numerator()) * b.denominator() -
                     static_cast<i128>(b.numerator()) * a.denominator();
        ASSERT_EQ(a < b, cross < 0);
        ASSERT_EQ(a > b, cross > 0);
    }
    // Both sides of the overflow boundary were exercised.
    EXPECT_GT(overflows, 1000);
    EXPECT_LT(overflows, 150000);
}

TEST(RationalTest, NegationMatchesLiteralReference) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        Rational a = random_rational(rng);
        auto want = reference_make(-static_cast<i128>(a.numerator()), a.denominator());
        std::optional<Exact> got;
        try {
            Rational c = -a;
            got = Exact{c.numerator(), c.denominator()};
        } catch (const RationalOverflow&) {
        }
        ASSERT_EQ(want.has_value(), got.has_value());
        if (want) {
            ASSERT_EQ(want->n, got->n);
            ASSERT_EQ(want->d, got->d);
        }
    }
}

// from_f64 step by step as written: whole numbers saturate, everything else is scaled by 10^9,
// rounded half away from zero, saturated and reduced by Euclid's algorithm.
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
