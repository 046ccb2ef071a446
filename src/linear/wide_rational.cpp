#include "linear/wide_rational.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"

namespace mekra::linear {

namespace {

// A wide value as stored: the GMP rational and the bytes charged to the digit budget for it.
struct WideValue {
    mpq_t q;
    std::int64_t charged = 0;

    WideValue() { mpq_init(q); }
    ~WideValue() {
        DigitBudget::charge(-charged);
        mpq_clear(q);
    }
    // Brings the charge up to date after `q` changed; may throw MemoryBudgetExceeded.
    void recharge() {
        const std::int64_t bytes = static_cast<std::int64_t>(
            sizeof(WideValue) + (static_cast<std::size_t>(mpq_numref(q)->_mp_alloc) +
                                 static_cast<std::size_t>(mpq_denref(q)->_mp_alloc)) *
                                    sizeof(mp_limb_t));
        const std::int64_t delta = bytes - charged;
        charged = bytes;
        DigitBudget::charge(delta);
    }
};

// Per-thread GMP temporaries, so that small operands and intermediate results need no
// allocation once the temporaries have grown.
struct Scratch {
    mpq_t a, b, product, result;
    Scratch() {
        mpq_init(a);
        mpq_init(b);
        mpq_init(product);
        mpq_init(result);
    }
    ~Scratch() {
        mpq_clear(a);
        mpq_clear(b);
        mpq_clear(product);
        mpq_clear(result);
    }
};

Scratch& scratch() {
    thread_local Scratch s;
    return s;
}

bool fits(mpq_srcptr q) { return mpz_fits_slong_p(mpq_numref(q)) && mpz_fits_slong_p(mpq_denref(q)); }

void set_u128(mpz_ptr z, unsigned __int128 v) {
    mpz_set_ui(z, static_cast<unsigned long>(v >> 64));
    mpz_mul_2exp(z, z, 64);
    mpz_add_ui(z, z, static_cast<unsigned long>(v));
}

}  // namespace

// Wide values keep the address of their WideValue in num_ and 0 in den_.
static WideValue* wide_of(std::int64_t bits) {
    return reinterpret_cast<WideValue*>(static_cast<std::intptr_t>(bits));
}
static std::int64_t bits_of(WideValue* w) {
    return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(w));
}

Rational WideRational::adopt(mpq_t value) {
    if (fits(value)) return Rational(mpz_get_si(mpq_numref(value)), mpz_get_si(mpq_denref(value)));
    auto w = std::make_unique<WideValue>();
    mpq_swap(w->q, value);
    w->recharge();
    return Rational(bits_of(w.release()), 0);
}

Rational WideRational::from_magnitudes(bool negative, unsigned __int128 num, unsigned __int128 den) {
    mpq_ptr r = scratch().result;
    set_u128(mpq_numref(r), num);
    set_u128(mpq_denref(r), den);
    if (negative) mpz_neg(mpq_numref(r), mpq_numref(r));
    return adopt(r);
}

mpq_srcptr WideRational::view(const Rational& q, mpq_t scratch_value) {
    if (q.den_ == 0) return wide_of(q.num_)->q;
    mpz_set_si(mpq_numref(scratch_value), q.num_);
    mpz_set_si(mpq_denref(scratch_value), q.den_);
    return scratch_value;
}

double WideRational::nearest_double(mpq_srcptr value) {
    const int sign = mpq_sgn(value);
    if (sign == 0) return 0.0;
    mpz_t num, den, a, b, r;
    mpz_inits(num, den, a, b, r, nullptr);
    mpz_abs(num, mpq_numref(value));
    mpz_set(den, mpq_denref(value));
    // 2^(e-1) < v < 2^(e+1); E = floor(log2 v) is e or e - 1.
    const long e = static_cast<long>(mpz_sizeinbase(num, 2)) - static_cast<long>(mpz_sizeinbase(den, 2));
    if (e >= 0) {
        mpz_set(a, num);
        mpz_mul_2exp(b, den, static_cast<unsigned long>(e));
    } else {
        mpz_mul_2exp(a, num, static_cast<unsigned long>(-e));
        mpz_set(b, den);
    }
    const long exponent = mpz_cmp(a, b) >= 0 ? e : e - 1;
    double result;
    if (exponent > 1023) {
        result = std::numeric_limits<double>::infinity();
    } else if (exponent < -1076) {
        result = 0.0;  // below half the smallest subnormal
    } else {
        // The unit of the last place: 53 significant bits, or the subnormal spacing 2^-1074.
        const long unit = std::max(exponent - 52, -1074L);
        if (unit <= 0) {
            mpz_mul_2exp(a, num, static_cast<unsigned long>(-unit));
            mpz_set(b, den);
        } else {
            mpz_set(a, num);
            mpz_mul_2exp(b, den, static_cast<unsigned long>(unit));
        }
        mpz_tdiv_qr(a, r, a, b);  // a: the truncated significand, r: the remainder
        mpz_mul_2exp(r, r, 1);
        const int half = mpz_cmp(r, b);
        if (half > 0 || (half == 0 && mpz_odd_p(a))) mpz_add_ui(a, a, 1);
        // At most 2^53: exact in a double; ldexp overflows to infinity past the range.
        result = std::ldexp(mpz_get_d(a), static_cast<int>(unit));
    }
    mpz_clears(num, den, a, b, r, nullptr);
    return sign < 0 ? -result : result;
}

// ---- the wide members of Rational

void Rational::copy_wide(const Rational& other) {
    auto w = std::make_unique<WideValue>();
    mpq_set(w->q, wide_of(other.num_)->q);
    w->recharge();
    num_ = bits_of(w.release());
    den_ = 0;
}

void Rational::assign_slow(const Rational& other) {
    Rational copy(other);
    *this = std::move(copy);
}

void Rational::release_wide() noexcept { delete wide_of(num_); }

Rational Rational::wide_add(const Rational& a, const Rational& b, bool negate_b) {
    Scratch& s = scratch();
    mpq_srcptr x = WideRational::view(a, s.a), y = WideRational::view(b, s.b);
    if (negate_b)
        mpq_sub(s.result, x, y);
    else
        mpq_add(s.result, x, y);
    return WideRational::adopt(s.result);
}

Rational Rational::wide_mul(const Rational& a, const Rational& b) {
    Scratch& s = scratch();
    mpq_mul(s.result, WideRational::view(a, s.a), WideRational::view(b, s.b));
    return WideRational::adopt(s.result);
}

Rational Rational::wide_div(const Rational& a, const Rational& b) {
    if (b.is_zero()) fail_invariant("Rational denominator cannot be zero");
    Scratch& s = scratch();
    mpq_div(s.result, WideRational::view(a, s.a), WideRational::view(b, s.b));
    return WideRational::adopt(s.result);
}

Rational Rational::wide_neg(const Rational& a) {
    Scratch& s = scratch();
    mpq_neg(s.result, WideRational::view(a, s.a));
    return WideRational::adopt(s.result);
}

bool Rational::wide_less(const Rational& a, const Rational& b) {
    Scratch& s = scratch();
    return mpq_cmp(WideRational::view(a, s.a), WideRational::view(b, s.b)) < 0;
}

bool Rational::wide_equal(const Rational& a, const Rational& b) {
    // Canonical forms: a small value never equals a wide one.
    return a.den_ == 0 && b.den_ == 0 && mpq_equal(wide_of(a.num_)->q, wide_of(b.num_)->q) != 0;
}

void Rational::wide_subtract_product(Rational& entry, const Rational& f, const Rational& p) {
    Scratch& s = scratch();
    mpq_mul(s.product, WideRational::view(f, s.a), WideRational::view(p, s.b));
    if (entry.den_ == 0) {
        // In place: the entry keeps its storage unless the difference fits 64 bits again.
        WideValue* w = wide_of(entry.num_);
        mpq_sub(w->q, w->q, s.product);
        if (fits(w->q)) {
            entry = WideRational::adopt(w->q);  // releases w
        } else {
            w->recharge();
        }
        return;
    }
    mpq_sub(s.result, WideRational::view(entry, s.a), s.product);
    entry = WideRational::adopt(s.result);
}

int Rational::wide_sign() const { return mpq_sgn(wide_of(num_)->q); }

bool Rational::wide_is_integer() const { return mpz_cmp_ui(mpq_denref(wide_of(num_)->q), 1) == 0; }

double Rational::wide_to_f64() const { return WideRational::nearest_double(wide_of(num_)->q); }

std::string Rational::to_string() const {
    Scratch& s = scratch();
    mpq_srcptr q = WideRational::view(*this, s.a);
    std::unique_ptr<char, decltype(&std::free)> text(mpq_get_str(nullptr, 10, q), &std::free);
    return std::string(text.get());
}

Rational Rational::parse(const std::string& text) {
    Scratch& s = scratch();
    check_invariant(mpq_set_str(s.result, text.c_str(), 10) == 0, "malformed rational text");
    check_invariant(mpz_sgn(mpq_denref(s.result)) != 0, "Rational denominator cannot be zero");
    mpq_canonicalize(s.result);
    return WideRational::adopt(s.result);
}

}  // namespace mekra::linear
