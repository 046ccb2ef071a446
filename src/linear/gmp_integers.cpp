#include "linear/gmp_integers.hpp"

#include <cmath>

#include "core/invariant.hpp"
#include "linear/wide_rational.hpp"

namespace mekra::linear {

Rational rational_of(mpz_srcptr num, mpz_srcptr den) {
    check_invariant(mpz_sgn(den) > 0, "Rational denominator cannot be zero");
    if (mpz_cmp_ui(den, 1) == 0 && mpz_fits_slong_p(num)) return Rational::integer(mpz_get_si(num));
    mpq_t value;
    mpq_init(value);
    mpz_set(mpq_numref(value), num);
    mpz_set(mpq_denref(value), den);
    mpq_canonicalize(value);
    Rational result = WideRational::adopt(value);
    mpq_clear(value);
    return result;
}

void numerator_denominator(const Rational& value, mpz_ptr num, mpz_ptr den) {
    if (value.is_small()) {
        mpz_set_si(num, value.numerator());
        mpz_set_si(den, value.denominator());
        return;
    }
    mpq_t scratch;
    mpq_init(scratch);
    mpq_srcptr q = WideRational::view(value, scratch);
    mpz_set(num, mpq_numref(q));
    mpz_set(den, mpq_denref(q));
    mpq_clear(scratch);
}

int compare_products(mpz_srcptr a, mpz_srcptr b, mpz_srcptr c, mpz_srcptr d, mpz_ptr scratch1,
                     mpz_ptr scratch2) {
    const int left = mpz_sgn(a) * mpz_sgn(b), right = mpz_sgn(c) * mpz_sgn(d);
    if (left != right) return left < right ? -1 : 1;
    if (left == 0) return 0;
    // |x| = fx * 2^ex with fx in [0.5, 1), truncated: a relative error below 2^-52 each, so
    // below 2^-50 for a product of two. A margin of 2^-40 between the products decides.
    long ea, eb, ec, ed;
    const double fa = std::fabs(mpz_get_d_2exp(&ea, a)), fb = std::fabs(mpz_get_d_2exp(&eb, b));
    const double fc = std::fabs(mpz_get_d_2exp(&ec, c)), fd = std::fabs(mpz_get_d_2exp(&ed, d));
    const long shift = (ea + eb) - (ec + ed);  // both products' leading parts lie in [0.25, 1)
    int magnitude = 0;
    if (shift > 2) {
        magnitude = 1;
    } else if (shift < -2) {
        magnitude = -1;
    } else {
        const double p = std::ldexp(fa * fb, static_cast<int>(shift)), q = fc * fd;
        constexpr double MARGIN = 0x1.0p-40;
        if (p > q * (1 + MARGIN))
            magnitude = 1;
        else if (p < q * (1 - MARGIN))
            magnitude = -1;
        else {
            mpz_mul(scratch1, a, b);
            mpz_mul(scratch2, c, d);
            const int order = mpz_cmp(scratch1, scratch2);
            return order < 0 ? -1 : order > 0 ? 1 : 0;
        }
    }
    return left > 0 ? magnitude : -magnitude;
}

}  // namespace mekra::linear
