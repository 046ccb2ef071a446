#pragma once
// The GMP side of Rational: how wide values are built, stored and read. Internal to the
// linear folder; everything else sees only rational.hpp.

#include <gmp.h>

#include "linear/rational.hpp"

namespace mekra::linear {

class WideRational {
public:
    // (negative ? -num : num) / den, reduced and known not to fit 64 bits.
    static Rational from_magnitudes(bool negative, unsigned __int128 num, unsigned __int128 den);
    // The canonical Rational of a reduced GMP value; `value` is left in an unspecified state.
    static Rational adopt(mpq_t value);
    // The GMP value of `q`: its own for a wide value, else `scratch` set to it.
    static mpq_srcptr view(const Rational& q, mpq_t scratch);
    // The double nearest to `value` (ties to even), +-infinity beyond the double range.
    static double nearest_double(mpq_srcptr value);
};

}  // namespace mekra::linear
