#pragma once
// A linear program as the LP and MILP solvers take it: an optional objective, constraints
// "expr REL 0" over non-negative variables, and which variables are integer.

#include <cstdint>
#include <optional>
#include <vector>

#include "linear/linear_expr.hpp"

namespace mekra::lp {

// The exact numbers and expressions of the linear folder, under the names this folder uses.
using linear::LinearExpr;
using linear::Rational;
using linear::Term;
using linear::VarId;

enum class Sense : std::uint8_t { Minimize = 0, Maximize = 1 };
enum class Relation : std::uint8_t { Eq = 0, Le = 1, Ge = 2 };

// expr REL 0: the constant of expr is the left-hand side's constant minus the right-hand side.
struct Constraint {
    LinearExpr expr;
    Relation relation;
    friend bool operator==(const Constraint&, const Constraint&) = default;
};

struct VarInfo {
    VarId id;
    bool integer = false;
    friend bool operator==(const VarInfo&, const VarInfo&) = default;
};

struct Objective {
    Sense sense;
    LinearExpr expr;
    friend bool operator==(const Objective&, const Objective&) = default;
};

struct LinearProgram {
    std::optional<Objective> objective;
    std::vector<VarId> variables;         // 0 .. n-1 in creation order
    std::vector<Constraint> constraints;  // in line order
    std::vector<VarInfo> var_info;        // indexed by VarId
    VarId next_var = 0;
    friend bool operator==(const LinearProgram&, const LinearProgram&) = default;
};

}  // namespace mekra::lp
