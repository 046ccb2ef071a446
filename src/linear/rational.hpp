#pragma once
// Exact rational numbers: a signed 64-bit numerator over a positive 64-bit denominator,
// always reduced. Every operation computes the exact result in 128 bits and reduces it; a
// reduced result that does not fit 64 bits throws RationalOverflow, which the LP and MILP
// entry points catch and report as the outcome Unknown(NumericalIssue). Division by a zero
// value is an internal invariant failure ("Rational denominator cannot be zero").
//
// INTERFACE SKETCH: the implementation (rational.cpp) and any refinement of this header
// belong to the exact-arithmetic work; keep the names used here.

#include <cstdint>
#include <exception>

namespace mekra {

// An exact value does not fit 64 bits. Never escapes parse_lp, LpSolver::solve or solve_milp.
class RationalOverflow : public std::exception {
public:
    const char* what() const noexcept override { return "rational overflow"; }
};

class Rational {
public:
    constexpr Rational() = default;  // 0/1

    // n/1 without normalisation.
    static constexpr Rational integer(std::int64_t n) { return Rational(n, 1); }
    // The normal form of n/d. d == 0 is an internal invariant failure.
    static Rational make(std::int64_t n, std::int64_t d);
    // The exact value chosen for a double read from text (scale 10^9, saturating).
    static Rational from_f64(double x);
    // numerator / denominator in double precision.
    double to_f64() const;

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
    std::int64_t num_ = 0;
    std::int64_t den_ = 1;
};

}  // namespace mekra
