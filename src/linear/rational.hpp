#pragma once
// Exact rational numbers: a signed 64-bit numerator over a positive 64-bit denominator,
// always reduced (zero is 0/1). Every operation computes the exact result in 128 bits and
// reduces it; a reduced result that does not fit 64 bits throws RationalOverflow, which the
// LP and MILP entry points catch and report as the outcome Unknown(NumericalIssue). Division
// by a zero value is an internal invariant failure ("Rational denominator cannot be zero").
//
// The common cases (zeros, integers, equal denominators) are inline below; the general
// reductions live in rational.cpp.

#include <cstdint>
#include <exception>

namespace mekra::linear {

// An exact value does not fit 64 bits. Never escapes parse_lp, LpSolver::solve or solve_milp.
class RationalOverflow : public std::exception {
public:
    const char* what() const noexcept override { return "rational overflow"; }
};

class Rational {
public:
    // Decimal scale of from_f64: every value it returns has a denominator dividing 10^9.
    static constexpr std::int64_t RATIONAL_SCALE = 1000000000;

    constexpr Rational() = default;  // 0/1

    // n/1 without normalisation.
    static constexpr Rational integer(std::int64_t n) { return Rational(n, 1); }
    // The normal form of n/d. d == 0 is an internal invariant failure; a reduced value
    // outside 64 bits (only INT64_MIN over a negative d can do that) throws RationalOverflow.
    static Rational make(std::int64_t n, std::int64_t d);
    // The exact value chosen for a double read from text (scale 10^9, saturating).
    static Rational from_f64(double x);
    // numerator / denominator in double precision.
    double to_f64() const { return static_cast<double>(num_) / static_cast<double>(den_); }

    constexpr std::int64_t numerator() const { return num_; }
    constexpr std::int64_t denominator() const { return den_; }
    constexpr bool is_zero() const { return num_ == 0; }
    constexpr bool is_positive() const { return num_ > 0; }
    constexpr bool is_negative() const { return num_ < 0; }
    constexpr bool is_integer() const { return den_ == 1; }

    friend Rational operator+(Rational a, Rational b);
    friend Rational operator-(Rational a, Rational b);
    friend Rational operator*(Rational a, Rational b);
    friend Rational operator/(Rational a, Rational b);
    friend Rational operator-(Rational a);
    friend constexpr bool operator==(Rational a, Rational b) = default;
    friend bool operator<(Rational a, Rational b);  // exact, by 128-bit cross products
    friend bool operator>(Rational a, Rational b);

private:
    constexpr Rational(std::int64_t n, std::int64_t d) : num_(n), den_(d) {}

    // General cases; `negate_b` makes add_general compute a - b without negating b first
    // (b's negation alone may not fit).
    static Rational add_general(Rational a, Rational b, bool negate_b);
    static Rational mul_general(Rational a, Rational b);
    static Rational div_general(Rational a, Rational b);
    // (negative ? -num : num) / den, already reduced; RationalOverflow when it does not fit.
    static Rational from_magnitudes(bool negative, unsigned __int128 num, unsigned __int128 den);
    [[noreturn]] static void overflow();

    std::int64_t num_ = 0;
    std::int64_t den_ = 1;
};

inline Rational operator+(Rational a, Rational b) {
    if (b.num_ == 0) return a;
    if (a.num_ == 0) return b;
    if (a.den_ == 1 && b.den_ == 1) {
        std::int64_t sum;
        if (__builtin_add_overflow(a.num_, b.num_, &sum)) Rational::overflow();
        return Rational(sum, 1);
    }
    return Rational::add_general(a, b, false);
}

inline Rational operator-(Rational a) {
    if (a.num_ == INT64_MIN) Rational::overflow();
    return Rational(-a.num_, a.den_);
}

inline Rational operator-(Rational a, Rational b) {
    if (b.num_ == 0) return a;
    if (a.den_ == 1 && b.den_ == 1) {
        std::int64_t diff;
        if (__builtin_sub_overflow(a.num_, b.num_, &diff)) Rational::overflow();
        return Rational(diff, 1);
    }
    return Rational::add_general(a, b, true);
}

inline Rational operator*(Rational a, Rational b) {
    if (a.num_ == 0 || b.num_ == 0) return Rational();
    if (a.den_ == 1 && b.den_ == 1) {
        std::int64_t product;
        if (__builtin_mul_overflow(a.num_, b.num_, &product)) Rational::overflow();
        return Rational(product, 1);
    }
    return Rational::mul_general(a, b);
}

inline Rational operator/(Rational a, Rational b) { return Rational::div_general(a, b); }

inline bool operator<(Rational a, Rational b) {
    if (a.den_ == b.den_) return a.num_ < b.num_;
    return static_cast<__int128>(a.num_) * b.den_ < static_cast<__int128>(b.num_) * a.den_;
}

inline bool operator>(Rational a, Rational b) { return b < a; }

}  // namespace mekra::linear
