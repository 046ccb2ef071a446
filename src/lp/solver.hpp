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
#include <memory>
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
    bool used_factored_form() const { return tableau_.factored_form(); }
    // Tests: the main tableau's Tableau::set_factored_form_min_rows.
    void set_factored_form_min_rows(std::size_t rows) { tableau_.set_factored_form_min_rows(rows); }

    // The unique-vertex shortcut (see solve_by_unique_vertex) is tried once per solve, when
    // the simplex path has made max(UNIQUE_VERTEX_PIVOTS, m / 2) pivots, or earlier once its
    // exact pivots have updated UNIQUE_VERTEX_WORK_PER_LINE entries per row and column of the
    // tableau (Tableau::integer_work). Short paths, where it could not gain much, never pay
    // for it. The floating-point simplex of a try costs about as much as a hundred entry
    // updates per row and column, so a failed try costs a path of large values at most a few
    // times what it has spent, once, and a successful one ends the path early (bandm, degen2,
    // sc105 and stocfor1 took a third to a half less time than with the pivot rule alone).
    static constexpr std::size_t UNIQUE_VERTEX_PIVOTS = 100;
    static constexpr std::size_t UNIQUE_VERTEX_WORK_PER_LINE = 20;
    // Tests: try it after this many pivots instead, whatever the work (0: before the first;
    // SIZE_MAX: never).
    void set_unique_vertex_pivots(std::size_t pivots) { unique_vertex_pivots_ = pivots; }
    // Tests: false lets every floating-point optimum reach the exact checks, even one that
    // does not look like the only optimal vertex.
    void set_unique_vertex_screening(bool screen) { unique_vertex_screening_ = screen; }
    // Whether the last solve's answer came from the shortcut.
    bool used_unique_vertex() const { return used_unique_vertex_; }

private:
    std::optional<LinearProgram> program_;
    std::vector<ColumnLabel> labels_;
    std::size_t pivots_ = 0;
    std::optional<std::size_t> unique_vertex_pivots_;  // set by tests
    bool unique_vertex_screening_ = true;
    bool used_unique_vertex_ = false;

    // Working storage reused by every solve of this solver; it never carries values from one
    // solve to the next, only allocations.
    Tableau tableau_;
    std::vector<std::uint8_t> artificial_;  // per variable column: 1 for an artificial column
    std::vector<ColumnLabel> next_labels_;
    // Per constraint: the column of its row activity, its slack or surplus column if it has
    // one, else its artificial column.
    std::vector<std::size_t> row_activity_;

    // The solve in progress.
    std::span<const Constraint> extra_;
    std::size_t unique_vertex_at_ = SIZE_MAX;       // pivots after which the shortcut is tried
    std::size_t unique_vertex_work_at_ = SIZE_MAX;  // or integer work, whichever comes first
    bool unique_vertex_tried_ = false;
    std::unique_ptr<Tableau> check_tableau_;  // the shortcut's own, kept while it answers
    std::optional<LpOutcome> answer_;         // the shortcut's answer

    LpOutcome run(std::span<const Constraint> extra);

    // The steps of run, in order.
    // Rows 1..m hold the constraints (the program's, then extra_; flipped to a non-negative
    // RHS) with their slack, surplus and artificial columns, each row's starting basic column
    // recorded; labels_, artificial_ and row_activity_ describe the columns; row 0 is zero.
    void write_constraints(Tableau& tableau);
    // Row 0 holds s * objective (s = +1 to maximise, -1 to minimise), its constant as -s * k.
    void write_objective(Tableau& tableau);
    // Row 0 becomes the phase-1 row, which maximises minus the sum of the artificial columns;
    // the objective row is saved.
    void start_phase_one();
    enum class LoopEnd { Optimal, NoLeavingRow, Answered };
    // Pivots until no admissible column can enter (Optimal) or an entering column has no
    // leaving row (NoLeavingRow), by Dantzig's rule and, after 50 consecutive pivots that
    // leave the objective value unchanged, by Bland's until one changes it. Answered: the
    // unique-vertex shortcut answered on the way (answer_).
    LoopEnd simplex_loop(std::span<const std::uint8_t> excluded);
    // Every artificial column still basic (at zero) leaves for the lowest non-artificial
    // column with a non-zero entry in its row; a row without one keeps it.
    void drive_out_artificials();
    // Row 0 becomes the saved objective row in canonical form for the current basis.
    void price_objective();
    // Tries the shortcut on check_tableau_; true with answer_ set when it answers.
    bool try_unique_vertex();
    // The unique-vertex shortcut: a floating-point simplex proposes an optimal basis, which
    // check_tableau_, written afresh, pivots in (counted in `pivots`); it then checks that
    // the basis's vertex is optimal and the only vertex of the optimal face. Every run of the
    // simplex method ends at a vertex of that face, so its answer is this vertex's. None when
    // a check fails.
    std::optional<LpOutcome> solve_by_unique_vertex(std::size_t& pivots);
    // The Optimal outcome of the final basis: structural columns in column order.
    LpOutcome read_model(const Tableau& tableau) const;
};

}  // namespace mekra::lp
