#pragma once
// Exact rational numbers of any size, always reduced (zero is 0/1).
//
// A value whose reduced numerator and denominator both fit signed 64 bits is stored inline
// ("small": the numerator and a positive denominator), with no allocation; every other value
// is "wide": an owned GMP rational behind a pointer, marked by a zero denominator field. The
// form is canonical (a value is wide exactly when it does not fit), so equal values have
// equal forms. The common cases (zeros, integers, equal denominators) are inline below and
// compute in 64 or 128 bits; a result that does not fit is carried on in GMP, never wrapped.
// Division by a zero value is an internal invariant failure ("Rational denominator cannot be
// zero").
//
// The digits of wide values count against the budget of the innermost DigitBudget (see
// digit_budget.hpp); a value that would pass it throws MemoryBudgetExceeded.

#include <cstdint>
#include <string>

namespace mekra::linear {

class Rational {
public:
    // Decimal scale of from_f64: every value it returns has a denominator dividing 10^9.
    static constexpr std::int64_t RATIONAL_SCALE = 1000000000;

    constexpr Rational() = default;  // 0/1
    Rational(const Rational& other) : num_(other.num_), den_(other.den_) {
        if (den_ == 0) copy_wide(other);
    }
    Rational(Rational&& other) noexcept : num_(other.num_), den_(other.den_) {
        other.num_ = 0;
        other.den_ = 1;
    }
    Rational& operator=(const Rational& other) {
        if (den_ != 0 && other.den_ != 0) {
            num_ = other.num_;
            den_ = other.den_;
        } else if (this != &other) {
            assign_slow(other);
        }
        return *this;
    }
    Rational& operator=(Rational&& other) noexcept {
        if (this != &other) {
            if (den_ == 0) release_wide();
            num_ = other.num_;
            den_ = other.den_;
            other.num_ = 0;
            other.den_ = 1;
        }
        return *this;
    }
    constexpr ~Rational() {
        if (den_ == 0) release_wide();
    }

    // n/1 without normalisation.
    static constexpr Rational integer(std::int64_t n) { return Rational(n, 1); }
    // The normal form of n/d. d == 0 is an internal invariant failure.
    static Rational make(std::int64_t n, std::int64_t d);
    // The value of a decimal integer or fraction text "n" or "n/d" (optional "-" on n); for
    // tests and tools. Malformed text or a zero d is an internal invariant failure.
    static Rational parse(const std::string& text);
    // The exact value chosen for a double read from text (scale 10^9, saturating).
    static Rational from_f64(double x);
    // A small value gives numerator / denominator in double precision; a wide one the double
    // nearest to it (ties to even), or +-infinity beyond the double range.
    double to_f64() const {
        if (den_ != 0) return static_cast<double>(num_) / static_cast<double>(den_);
        return wide_to_f64();
    }

    // Small values only (an internal invariant failure otherwise).
    std::int64_t numerator() const;
    std::int64_t denominator() const;
    constexpr bool is_small() const { return den_ != 0; }
    // numerator() and denominator() without the check, for loops that test is_small() first.
    constexpr std::int64_t small_numerator() const { return num_; }
    constexpr std::int64_t small_denominator() const { return den_; }
    // A wide value is never zero, and its pointer is never null.
    constexpr bool is_zero() const { return num_ == 0; }
    bool is_positive() const { return den_ != 0 ? num_ > 0 : wide_sign() > 0; }
    bool is_negative() const { return den_ != 0 ? num_ < 0 : wide_sign() < 0; }
    bool is_integer() const { return den_ == 1 || (den_ == 0 && wide_is_integer()); }
    // "n" for a whole number, else "n/d", in decimal.
    std::string to_string() const;

    friend Rational operator+(const Rational& a, const Rational& b);
    friend Rational operator-(const Rational& a, const Rational& b);
    friend Rational operator*(const Rational& a, const Rational& b);
    friend Rational operator/(const Rational& a, const Rational& b);
    friend Rational operator-(const Rational& a);
    friend bool operator==(const Rational& a, const Rational& b) {
        if (a.den_ != 0 && b.den_ != 0) return a.num_ == b.num_ && a.den_ == b.den_;
        return wide_equal(a, b);
    }
    friend bool operator<(const Rational& a, const Rational& b);
    friend bool operator>(const Rational& a, const Rational& b) { return b < a; }

    // entry := entry - f * p, exactly; the tableau's inner step, in place.
    static void subtract_product(Rational& entry, const Rational& f, const Rational& p);

private:
    friend class WideRational;  // builds and reads wide values (rational_wide.cpp)

    constexpr Rational(std::int64_t n, std::int64_t d) : num_(n), den_(d) {}

    // General cases of the small arithmetic; `negate_b` makes add_general compute a - b
    // without negating b first (b's negation alone may not fit).
    static Rational add_general(const Rational& a, const Rational& b, bool negate_b);
    static Rational mul_general(const Rational& a, const Rational& b);
    static Rational div_general(const Rational& a, const Rational& b);
    // (negative ? -num : num) / den, already reduced; wide when it does not fit.
    static Rational from_magnitudes(bool negative, unsigned __int128 num, unsigned __int128 den);
    // entry := the normal form of n/d, for a small entry and d > 0, written in place (no
    // temporary to move from and destroy on the tableau's hottest path).
    static void assign_reduced(Rational& entry, std::int64_t n, std::int64_t d);
    // subtract_product of inline operands whose unreduced terms overflow 64 bits.
    static void general_subtract_product(Rational& entry, const Rational& f, const Rational& p);

    // Wide arithmetic (rational_wide.cpp): any operands, a canonical result.
    static Rational wide_add(const Rational& a, const Rational& b, bool negate_b);
    static Rational wide_mul(const Rational& a, const Rational& b);
    static Rational wide_div(const Rational& a, const Rational& b);
    static Rational wide_neg(const Rational& a);
    static bool wide_less(const Rational& a, const Rational& b);
    static bool wide_equal(const Rational& a, const Rational& b);
    static void wide_subtract_product(Rational& entry, const Rational& f, const Rational& p);
    int wide_sign() const;
    bool wide_is_integer() const;
    double wide_to_f64() const;
    void copy_wide(const Rational& other);
    void assign_slow(const Rational& other);
    void release_wide() noexcept;

    // Small: the numerator. Wide: the address of the GMP value.
    std::int64_t num_ = 0;
    // Small: the positive denominator. Wide: 0.
    std::int64_t den_ = 1;
};

inline Rational operator+(const Rational& a, const Rational& b) {
    if (b.num_ == 0) return a;
    if (a.num_ == 0) return b;
    if (a.den_ == 1 && b.den_ == 1) {
        std::int64_t sum;
        if (!__builtin_add_overflow(a.num_, b.num_, &sum)) return Rational(sum, 1);
    }
    return Rational::add_general(a, b, false);
}

inline Rational operator-(const Rational& a) {
    if (a.den_ != 0 && a.num_ != INT64_MIN) return Rational(-a.num_, a.den_);
    return Rational::wide_neg(a);
}

inline Rational operator-(const Rational& a, const Rational& b) {
    if (b.num_ == 0) return a;
    if (a.den_ == 1 && b.den_ == 1) {
        std::int64_t diff;
        if (!__builtin_sub_overflow(a.num_, b.num_, &diff)) return Rational(diff, 1);
    }
    return Rational::add_general(a, b, true);
}

inline Rational operator*(const Rational& a, const Rational& b) {
    if (a.num_ == 0 || b.num_ == 0) return Rational();
    if (a.den_ == 1 && b.den_ == 1) {
        std::int64_t product;
        if (!__builtin_mul_overflow(a.num_, b.num_, &product)) return Rational(product, 1);
    }
    return Rational::mul_general(a, b);
}

inline Rational operator/(const Rational& a, const Rational& b) { return Rational::div_general(a, b); }

// The small cases of entry - f * p: when the unreduced product and difference fit 64 bits,
// the difference is reduced once instead of after each operation.
inline void Rational::subtract_product(Rational& entry, const Rational& f, const Rational& p) {
    const std::int64_t ed = entry.den_, fd = f.den_, pd = p.den_;
    if (ed == 1 && fd == 1 && pd == 1) {
        std::int64_t product, difference;
        if (!__builtin_mul_overflow(f.num_, p.num_, &product) &&
            !__builtin_sub_overflow(entry.num_, product, &difference)) {
            entry.num_ = difference;
            return;
        }
    } else if (ed != 0 && fd != 0 && pd != 0) {
        std::int64_t num_product, den_product, scaled_entry, scaled_product, num, den;
        if (!__builtin_mul_overflow(f.num_, p.num_, &num_product) &&
            !__builtin_mul_overflow(fd, pd, &den_product) &&
            !__builtin_mul_overflow(entry.num_, den_product, &scaled_entry) &&
            !__builtin_mul_overflow(num_product, ed, &scaled_product) &&
            !__builtin_sub_overflow(scaled_entry, scaled_product, &num) &&
            !__builtin_mul_overflow(ed, den_product, &den)) {
            assign_reduced(entry, num, den);
            return;
        }
    }
    if (ed != 0 && fd != 0 && pd != 0) {
        general_subtract_product(entry, f, p);
        return;
    }
    wide_subtract_product(entry, f, p);
}

inline bool operator<(const Rational& a, const Rational& b) {
    if (a.den_ != 0 && b.den_ != 0) {
        if (a.den_ == b.den_) return a.num_ < b.num_;
        return static_cast<__int128>(a.num_) * b.den_ < static_cast<__int128>(b.num_) * a.den_;
    }
    return Rational::wide_less(a, b);
}

}  // namespace mekra::linear
