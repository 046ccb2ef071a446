#pragma once
// Building LinearPrograms directly in tests, without the text reader.

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "lp/reader.hpp"

namespace mekra::lp::testing {

inline Rational q(std::int64_t n, std::int64_t d = 1) { return Rational::make(n, d); }

// sum of coefficient * variable, plus a constant.
inline LinearExpr affine(std::initializer_list<std::pair<Rational, VarId>> terms,
                         Rational constant = Rational()) {
    LinearExpr e = LinearExpr::from_constant(constant);
    for (const auto& [c, v] : terms) e = LinearExpr::add(std::move(e), LinearExpr::term(c, v));
    return e;
}

inline LinearProgram program_with_vars(std::size_t n) {
    LinearProgram p;
    for (VarId v = 0; v < n; ++v) {
        p.variables.push_back(v);
        p.var_info.push_back({v, false});
    }
    p.next_var = n;
    return p;
}

// lhs REL rhs, stored as lhs - rhs REL 0.
inline void add_row(LinearProgram& p, LinearExpr lhs, Relation rel, Rational rhs) {
    p.constraints.push_back({LinearExpr::sub(std::move(lhs), LinearExpr::from_constant(rhs)), rel});
}

inline void set_objective(LinearProgram& p, Sense sense, LinearExpr e) {
    p.objective = Objective{sense, std::move(e)};
}

}  // namespace mekra::lp::testing
