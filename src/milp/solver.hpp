#pragma once
// Branch and bound for mixed-integer programs over the exact LP solver.
//
// Every node is a fresh LP solve of the input program with the node's bound constraints
// appended; nothing is carried from one node's solve to the next. The relaxations are exact,
// but the search itself (integrality, branching values, the node queue) works on the doubles
// of the reported solutions and objectives.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/outcome.hpp"
#include "lp/program.hpp"

namespace mekra::milp {

using lp::Constraint;
using lp::LinearProgram;
using lp::Rational;
using lp::VarId;

inline constexpr std::uint64_t MAX_NODES = 1000;
// A value is integral when it is closer than this to the nearest integer.
inline constexpr double INTEGRALITY_TOL = 1e-8;
// A variable is a branching candidate when its fractional part lies strictly between these.
inline constexpr double BRANCH_FRAC_LOW = 1e-10;
inline constexpr double BRANCH_FRAC_HIGH = 0.9999999999;

// One branching decision: var >= lower or var <= upper (exactly one is present).
struct VarBound {
    VarId var;
    std::optional<Rational> lower;
    std::optional<Rational> upper;
};

// One subproblem. The decisions on its path are reached through `parent` (the node that
// created it) instead of being copied into every node: the path of a node is its parent's
// path followed by `decision`.
struct BranchNode {
    // The objective of the parent's relaxation; none for the root's children.
    std::optional<double> bound;
    // The decision this node adds to its parent's.
    VarBound decision;
    // Index of the parent in the node list; none for the root's children.
    std::optional<std::uint64_t> parent;
};

// What a search found, how many nodes it explored (nodes taken from the queue under the node
// limit, pruned ones included), whether the node limit cut it short, and how many explored
// nodes were left unresolved because their relaxation ended Unknown (a numerical issue).
struct MilpSearch {
    LpOutcome outcome;
    std::uint64_t explored = 0;
    bool limit_reached = false;
    std::uint64_t unresolved = 0;
};

MilpSearch search_milp(const LinearProgram& program);
LpOutcome solve_milp(const LinearProgram& program);

}  // namespace mekra::milp
