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

// How an exact value is reported: a whole number as Int (of any size), else the Float of
// Rational::to_f64.
ModelValue reported_value(const Rational& value);

class LpSolver {
public:
    LpSolver() = default;

    // Stores the program, replacing any earlier one.
    void load(LinearProgram program);

    // Runs the two-phase simplex on the loaded program in exact arithmetic of any size:
    // Optimal (model in variable order, objective as a double), Infeasible, Unbounded, or
    // Unknown(Internal "no system loaded") without a program. Throws MemoryBudgetExceeded
    // past the tableau limit or the active digit budget.
    LpOutcome solve();

    // solve() of the loaded program with `extra` appended after its own constraints, as if
    // they had been part of it: same outcome, same labels (constraint indices continue after
    // the program's). For branch and bound: load the input program once, then solve each node
    // with its bound constraints, without copying the program. The variables of `extra` must
    // be variables of the program.
    LpOutcome solve_with(std::span<const Constraint> extra);

    // The column labels of the last solve (set once the tableau has been written).
    const std::vector<ColumnLabel>& labels() const { return labels_; }
    // The pivots of the last solve, and whether its values moved to the integer form.
    std::size_t pivots() const { return pivots_; }
    bool used_integer_form() const { return tableau_.integer_form(); }
    bool used_columns_on_demand() const { return tableau_.columns_on_demand(); }

private:
    std::optional<LinearProgram> program_;
    std::vector<ColumnLabel> labels_;
    std::size_t pivots_ = 0;

    // Working storage reused by every solve of this solver; it never carries values from one
    // solve to the next, only allocations.
    Tableau tableau_;
    std::vector<std::uint8_t> artificial_;  // per variable column: 1 for an artificial column
    std::vector<ColumnLabel> next_labels_;

    LpOutcome run(std::span<const Constraint> extra);

    // The steps of run, in order.
    // Rows 1..m hold the constraints (flipped to a non-negative RHS) with their slack, surplus
    // and artificial columns, each row's starting basic column recorded; labels_ and
    // artificial_ describe the columns; row 0 is zero.
    void write_constraints(std::span<const Constraint> extra);
    // Row 0 holds s * objective (s = +1 to maximise, -1 to minimise), its constant as -s * k.
    void write_objective();
    // Phase 1 from the saved row 0: maximises minus the sum of the artificial columns. False
    // when the program is infeasible; row 0 is then the phase-1 row.
    bool run_phase_one();
    // Every artificial column still basic (at zero) leaves for the lowest non-artificial
    // column with a non-zero entry in its row; a row without one keeps it.
    void drive_out_artificials();
    // Row 0 becomes the saved objective row in canonical form for the current basis.
    void price_objective();
    // The Optimal outcome of the final basis: structural columns in column order.
    LpOutcome read_model() const;
};

}  // namespace mekra::lp
