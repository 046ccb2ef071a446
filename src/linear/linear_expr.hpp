#pragma once
// Sparse affine expressions c1*x1 + ... + cn*xn + k with Rational coefficients, kept in normal
// form: terms sorted by strictly increasing VarId, no zero coefficient.
//
// The operations take their operands by value and return a new expression. Their Rational
// sums are exact (see rational.hpp); nothing else fails.

#include <cstdint>
#include <vector>

#include "linear/rational.hpp"

namespace mekra::linear {

using VarId = std::uint64_t;

struct Term {
    Rational coefficient;
    VarId var;
    friend bool operator==(const Term&, const Term&) = default;
};

struct LinearExpr {
    std::vector<Term> terms;
    Rational constant;

    static LinearExpr var(VarId x);               // 1*x
    static LinearExpr term(Rational c, VarId x);  // c*x, or empty when c is zero
    static LinearExpr from_constant(Rational k);
    // a + b: the constant first, then the terms of both merged by VarId (a's coefficient
    // plus b's for a shared variable), cancelled terms removed.
    static LinearExpr add(LinearExpr a, LinearExpr b);
    static LinearExpr neg(LinearExpr a);
    static LinearExpr sub(LinearExpr a, LinearExpr b);  // add(a, neg(b))

    friend bool operator==(const LinearExpr&, const LinearExpr&) = default;
};

}  // namespace mekra::linear
