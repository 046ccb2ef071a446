#include "linear/gmp_integers.hpp"

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

}  // namespace mekra::linear
