#pragma once
// Sparse affine expressions c1*x1 + ... + cn*xn + k with Rational coefficients, kept in normal
// form: terms sorted by strictly increasing VarId, no zero coefficient.
//
// INTERFACE SKETCH: implementation in linear_expr.cpp; keep the names used here.

#include <cstdint>
#include <vector>

#include "linear/rational.hpp"

namespace mekra {

using VarId = std::uint64_t;

struct Term {
    Rational coefficient;
    VarId var;
    friend bool operator==(const Term&, const Term&) = default;
};

struct LinearExpr {
    std::vector<Term> terms;
    Rational constant;

    static LinearExpr var(VarId x);                 // 1*x
    static LinearExpr term(Rational c, VarId x);    // c*x, or empty when c is zero
    static LinearExpr from_constant(Rational k);
    static LinearExpr add(LinearExpr a, LinearExpr b);
    static LinearExpr neg(LinearExpr a);
    static LinearExpr sub(LinearExpr a, LinearExpr b);  // add(a, neg(b))

    friend bool operator==(const LinearExpr&, const LinearExpr&) = default;
};

}  // namespace mekra
