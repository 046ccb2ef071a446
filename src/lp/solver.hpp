#pragma once
// Two-phase simplex over exact rationals.
//
// Every variable is non-negative. Constraint i becomes tableau row i + 1 with a slack, surplus
// and/or artificial column; phase 1 minimises the sum of the artificial columns, drives the
// artificial columns still basic at zero out of the basis where a non-artificial column allows
// it, and phase 2 optimises the objective with artificial columns barred from entering. Both
// phases choose by Dantzig's rule (lowest column / lowest row on ties) and switch to Bland's
// rule after 50 consecutive pivots that leave the objective value unchanged, until one changes it.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/outcome.hpp"
#include "lp/program.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {

// A variable column of the last solve: a structural column carries its VarId; a slack or
// surplus column of constraint i carries 1000 + i, an artificial column 2000 + i.
struct ColumnLabel {
    std::uint64_t id;
    bool structural;
    friend bool operator==(const ColumnLabel&, const ColumnLabel&) = default;
};

class LpSolver {
public:
    LpSolver() = default;

    // Stores the program, replacing any earlier one.
    void load(LinearProgram program);

    // Runs the two-phase simplex on the loaded program: Optimal (model in variable order,
    // objective as a double), Infeasible, Unbounded, Unknown(Internal "no system loaded")
    // without a program, or Unknown(NumericalIssue) when an exact value does not fit 64 bits
    // (never an exception for numeric reasons).
    LpOutcome solve();

    // solve() of the loaded program with `extra` appended after its own constraints, as if
    // they had been part of it: same outcome, same labels (constraint indices continue after
    // the program's). For branch and bound: load the input program once, then solve each node
    // with its bound constraints, without copying the program. The variables of `extra` must
    // be variables of the program.
    LpOutcome solve_with(std::span<const Constraint> extra);

    // The column labels of the last solve (set once the tableau has been written).
    const std::vector<ColumnLabel>& labels() const { return labels_; }

private:
    std::optional<LinearProgram> program_;
    std::vector<ColumnLabel> labels_;

    // Working storage reused by every solve of this solver; it never carries values from one
    // solve to the next, only allocations.
    Tableau tableau_;
    std::vector<std::uint8_t> artificial_;  // per variable column: 1 for an artificial column
    std::vector<ColumnLabel> next_labels_;

    LpOutcome run(std::span<const Constraint> extra);
};

}  // namespace mekra::lp
