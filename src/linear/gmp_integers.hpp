#pragma once
// Rationals to and from GMP integers, for code that computes on integers over a chosen
// denominator instead of on Rationals (the simplex's integer tableau).

#include <gmp.h>

#include "linear/rational.hpp"

namespace mekra::linear {

// The reduced Rational num / den; den must be positive (an internal invariant failure
// otherwise). One gcd.
Rational rational_of(mpz_srcptr num, mpz_srcptr den);
// Sets `num` and `den` to the numerator and the positive denominator of `value`.
void numerator_denominator(const Rational& value, mpz_ptr num, mpz_ptr den);

// The sign of a * b - c * d. Decided from the leading digits of the four factors when the
// two products differ by more than their rounding could hide; otherwise both products are
// formed in the scratch integers and compared exactly.
int compare_products(mpz_srcptr a, mpz_srcptr b, mpz_srcptr c, mpz_srcptr d, mpz_ptr scratch1,
                     mpz_ptr scratch2);

}  // namespace mekra::linear
