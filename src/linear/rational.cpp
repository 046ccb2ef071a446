#include "linear/rational.hpp"

#include <cmath>

#include "core/invariant.hpp"
#include "linear/wide_rational.hpp"

namespace mekra::linear {

namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;
using i128 = __int128;

constexpr u64 INT64_MAX_MAGNITUDE = static_cast<u64>(INT64_MAX);

u64 magnitude(std::int64_t v) { return v < 0 ? 0 - static_cast<u64>(v) : static_cast<u64>(v); }

// Binary gcd; gcd(0, b) is b. Both operands are kept odd; the trailing zeros of v - u are
// counted while the smaller operand is chosen (u - v has the same ones), which shortens the
// dependency chain of the loop.
u64 gcd(u64 u, u64 v) {
    if (u == 0) return v;
    if (v == 0) return u;
    int shift = __builtin_ctzll(u | v);
    u >>= __builtin_ctzll(u);
    v >>= __builtin_ctzll(v);
    while (u != v) {
        u64 t = v - u;
        int zeros = __builtin_ctzll(t);
        u64 smaller = u < v ? u : v;
        u64 diff = u < v ? t : u - v;
        u = smaller;
        v = diff >> zeros;
    }
    return u << shift;
}

// Saturating conversion of a double to a 64-bit integer: NaN gives 0, values beyond the
// range give its ends, everything else is truncated toward zero.
std::int64_t saturate(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775808.0) return INT64_MAX;
    if (x <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(x);
}

}  // namespace

Rational Rational::from_magnitudes(bool negative, unsigned __int128 num, unsigned __int128 den) {
    if (den > INT64_MAX_MAGNITUDE || num > INT64_MAX_MAGNITUDE + (negative ? 1 : 0))
        return WideRational::from_magnitudes(negative, num, den);
    u64 n = static_cast<u64>(num);
    return Rational(static_cast<std::int64_t>(negative ? 0 - n : n), static_cast<std::int64_t>(den));
}

Rational Rational::make(std::int64_t n, std::int64_t d) {
    if (d == 0) fail_invariant("Rational denominator cannot be zero");
    if (n == 0) return Rational();
    u64 un = magnitude(n), ud = magnitude(d);
    u64 g = gcd(un, ud);
    return from_magnitudes((n < 0) != (d < 0), un / g, ud / g);
}

void Rational::assign_reduced(Rational& entry, std::int64_t n, std::int64_t d) {
    const u64 un = magnitude(n), ud = static_cast<u64>(d);
    const u64 g = gcd(un, ud);  // d when n is 0, giving 0/1
    const u64 reduced = un / g;
    if (reduced > INT64_MAX_MAGNITUDE) {
        entry = make(n, d);  // INT64_MIN / odd d: the magnitude 2^63 needs make's handling
        return;
    }
    entry.num_ = n < 0 ? -static_cast<std::int64_t>(reduced) : static_cast<std::int64_t>(reduced);
    entry.den_ = static_cast<std::int64_t>(ud / g);
}

// The general cases reduce first and compute in 128 bits, so GMP is reached only by a product
// or a difference that is itself wide, not by every step whose unreduced terms overflow.
void Rational::general_subtract_product(Rational& entry, const Rational& f, const Rational& p) {
    entry = entry - f * p;
}

// Exact a + b (or a - b) after Knuth: with d1 = gcd(q, s), the only common factors of the
// numerator and (q/d1)*s lie in d1.
Rational Rational::add_general(const Rational& a, const Rational& b, bool negate_b) {
    if (a.den_ == 0 || b.den_ == 0) return wide_add(a, b, negate_b);
    i128 p = a.num_, r = b.num_;
    if (negate_b) r = -r;
    u64 q = static_cast<u64>(a.den_), s = static_cast<u64>(b.den_);
    u64 d1 = q == s ? q : gcd(q, s);
    i128 t;
    u128 den;
    if (d1 == 1) {
        t = p * static_cast<i128>(s) + r * static_cast<i128>(q);
        den = static_cast<u128>(q) * s;
        if (t == 0) return Rational();
        return from_magnitudes(t < 0, t < 0 ? static_cast<u128>(-t) : static_cast<u128>(t), den);
    }
    u64 qd = q / d1;
    t = p * static_cast<i128>(s / d1) + r * static_cast<i128>(qd);
    if (t == 0) return Rational();
    u128 t_mag = t < 0 ? static_cast<u128>(-t) : static_cast<u128>(t);
    // 64-bit division where the numerator allows it: 128-bit division is a library call.
    u64 d2;
    if (static_cast<u64>(t_mag >> 64) == 0) {
        u64 small = static_cast<u64>(t_mag);
        d2 = gcd(small % d1, d1);
        t_mag = small / d2;
    } else {
        d2 = gcd(static_cast<u64>(t_mag % d1), d1);
        t_mag /= d2;
    }
    den = static_cast<u128>(qd) * (s / d2);
    return from_magnitudes(t < 0, t_mag, den);
}

Rational Rational::mul_general(const Rational& a, const Rational& b) {
    if (a.den_ == 0 || b.den_ == 0) return wide_mul(a, b);
    u64 p = magnitude(a.num_), r = magnitude(b.num_);
    u64 q = static_cast<u64>(a.den_), s = static_cast<u64>(b.den_);
    // Cross-cancel before multiplying; a denominator of 1 has nothing to cancel.
    u64 g1 = s == 1 ? 1 : gcd(p, s), g2 = q == 1 ? 1 : gcd(r, q);
    if (g1 != 1) {
        p /= g1;
        s /= g1;
    }
    if (g2 != 1) {
        r /= g2;
        q /= g2;
    }
    return from_magnitudes((a.num_ < 0) != (b.num_ < 0), static_cast<u128>(p) * r, static_cast<u128>(q) * s);
}

Rational Rational::div_general(const Rational& a, const Rational& b) {
    if (b.num_ == 0) fail_invariant("Rational denominator cannot be zero");
    if (a.num_ == 0) return Rational();
    if (a.den_ == 0 || b.den_ == 0) return wide_div(a, b);
    // (p/q) / (r/s) = (p*s) / (q*r), with the sign of r moved to the numerator.
    u64 p = magnitude(a.num_), r = magnitude(b.num_);
    u64 q = static_cast<u64>(a.den_), s = static_cast<u64>(b.den_);
    u64 g1 = gcd(p, r), g2 = gcd(q, s);
    u128 num = static_cast<u128>(p / g1) * (s / g2);
    u128 den = static_cast<u128>(q / g2) * (r / g1);
    return from_magnitudes((a.num_ < 0) != (b.num_ < 0), num, den);
}

std::int64_t Rational::numerator() const {
    check_invariant(den_ != 0, "numerator of a wide value read as 64 bits");
    return num_;
}

std::int64_t Rational::denominator() const {
    check_invariant(den_ != 0, "denominator of a wide value read as 64 bits");
    return den_;
}

Rational Rational::from_f64(double x) {
    if (x == 0.0) return Rational();
    double t = std::trunc(x);
    if (x - t == 0.0) return Rational(saturate(x), 1);
    // A fractional part, or NaN or an infinity (where x - t is NaN).
    std::int64_t n = saturate(std::round(x * static_cast<double>(RATIONAL_SCALE)));
    u64 g = gcd(magnitude(n), static_cast<u64>(RATIONAL_SCALE));
    if (g >= 2)
        return Rational(n / static_cast<std::int64_t>(g), RATIONAL_SCALE / static_cast<std::int64_t>(g));
    return Rational(n, RATIONAL_SCALE);
}

}  // namespace mekra::linear
