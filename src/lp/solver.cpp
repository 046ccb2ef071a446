#include "lp/solver.hpp"

#include <algorithm>
#include <utility>
#include <variant>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"

namespace mekra::lp {

namespace {

// Consecutive pivots without a change of the objective value after which the simplex loop
// chooses by Bland's rule, which cannot cycle, until the objective value moves again.
constexpr int BLAND_AFTER_UNCHANGED = 50;

constexpr std::uint64_t SLACK_LABEL_BASE = 1000;
constexpr std::uint64_t ARTIFICIAL_LABEL_BASE = 2000;

// Tableaux of more entries than this do not try the unique-vertex shortcut, which needs a
// second one.
constexpr std::size_t UNIQUE_VERTEX_MAX_ENTRIES = std::size_t{1} << 24;

}  // namespace

ModelValue reported_value(const Rational& value) {
    if (!value.is_integer()) return ModelValue::floating(value.to_f64());
    if (value.is_small()) return ModelValue::integer(value.numerator());
    return ModelValue::wide_integer(value.to_string(), value.to_f64());
}

void LpSolver::load(LinearProgram program) { program_ = std::move(program); }

LpOutcome LpSolver::solve() { return solve_with({}); }

LpOutcome LpSolver::solve_with(std::span<const Constraint> extra) {
    if (!program_) return LpOutcome::unknown(SolverError::internal("no system loaded"));
    return run(extra);
}

LpOutcome LpSolver::run(std::span<const Constraint> extra) {
    pivots_ = 0;
    used_unique_vertex_ = false;
    unique_vertex_tried_ = false;
    extra_ = extra;
    write_constraints(tableau_);
    write_objective(tableau_);
    const std::size_t m = tableau_.num_constraints();
    unique_vertex_at_ =
        unique_vertex_pivots_ ? *unique_vertex_pivots_ : std::max(UNIQUE_VERTEX_PIVOTS, m / 2);
    unique_vertex_work_at_ =
        unique_vertex_pivots_ ? SIZE_MAX : UNIQUE_VERTEX_WORK_PER_LINE * (m + tableau_.num_cols());
    if ((m + 1) * tableau_.num_cols() > UNIQUE_VERTEX_MAX_ENTRIES) {
        unique_vertex_at_ = SIZE_MAX;
        unique_vertex_work_at_ = SIZE_MAX;
    }
    bool has_artificial = false;
    for (std::uint8_t a : artificial_) has_artificial = has_artificial || a != 0;
    if (has_artificial) {
        start_phase_one();
        const LoopEnd end = simplex_loop({});
        if (end == LoopEnd::Answered) return *std::move(answer_);
        if (end == LoopEnd::NoLeavingRow || !tableau_.objective_value().is_zero())
            return LpOutcome::infeasible();
        drive_out_artificials();
        price_objective();
    }
    // Phase 2: artificial columns never enter.
    switch (simplex_loop(artificial_)) {
        case LoopEnd::Answered:
            return *std::move(answer_);
        case LoopEnd::NoLeavingRow:
            return LpOutcome::unbounded();
        case LoopEnd::Optimal:
            break;
    }
    return read_model(tableau_);
}

LpSolver::LoopEnd LpSolver::simplex_loop(std::span<const std::uint8_t> excluded) {
    Tableau& tableau = tableau_;
    int unchanged = 0;
    for (;;) {
        if (!unique_vertex_tried_ &&
            (pivots_ >= unique_vertex_at_ || tableau.integer_work() >= unique_vertex_work_at_) &&
            try_unique_vertex())
            return LoopEnd::Answered;
        const bool bland = unchanged >= BLAND_AFTER_UNCHANGED;
        const std::optional<std::size_t> col =
            bland ? tableau.entering_column_bland(excluded) : tableau.entering_column(excluded);
        if (!col) return LoopEnd::Optimal;
        const std::optional<LeavingRow> leaving =
            bland ? tableau.leaving_row_bland(*col) : tableau.leaving_row(*col);
        if (!leaving) return LoopEnd::NoLeavingRow;
        const Rational before = tableau.objective_value();  // a copy: the pivot changes it
        tableau.pivot(leaving->row, *col);
        ++pivots_;
        unchanged = tableau.objective_value() == before ? unchanged + 1 : 0;
    }
}

bool LpSolver::try_unique_vertex() {
    unique_vertex_tried_ = true;
    std::size_t pivots = 0;
    try {
        answer_ = solve_by_unique_vertex(pivots);
    } catch (const MemoryBudgetExceeded&) {
        answer_.reset();  // the simplex path may still fit in what is left
    }
    if (!answer_) {
        // Its storage and digits go; the simplex path goes on as if it had not been tried.
        check_tableau_.reset();
        return false;
    }
    pivots_ += pivots;
    used_unique_vertex_ = true;
    return true;
}

void LpSolver::write_constraints(Tableau& tableau) {
    const std::span<const Constraint> extra = extra_;
    const LinearProgram& program = *program_;
    const std::size_t n = program.variables.size();
    const std::size_t own = program.constraints.size();
    const std::size_t m = own + extra.size();
    const auto constraint = [&](std::size_t i) -> const Constraint& {
        return i < own ? program.constraints[i] : extra[i - own];
    };

    // A row is flipped when its right-hand side -(constant) is negative.
    std::size_t aux = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const Constraint& c = constraint(i);
        const bool flipped = c.expr.constant.is_positive();
        aux += 1;
        if (c.relation == Relation::Ge || (c.relation == Relation::Le && flipped)) aux += 1;
    }

    tableau.reset(n + aux, m);
    artificial_.assign(n + aux, 0);
    row_activity_.resize(m);
    next_labels_.clear();
    for (VarId v : program.variables) next_labels_.push_back({v, true});

    // Constraint i in row i + 1: coefficients, RHS, then its slack/surplus/artificial columns.
    std::size_t next_col = n;
    const auto add_column = [&](std::size_t row, std::int64_t entry, std::uint64_t label) {
        tableau.set(row, next_col, Rational::integer(entry));
        next_labels_.push_back({label, false});
        return next_col++;
    };
    const auto add_artificial = [&](std::size_t row, std::size_t i) {
        const std::size_t col = add_column(row, 1, ARTIFICIAL_LABEL_BASE + i);
        artificial_[col] = 1;
        tableau.set_basis(row, col);
    };
    for (std::size_t i = 0; i < m; ++i) {
        const Constraint& c = constraint(i);
        const std::size_t row = i + 1;
        const bool flipped = c.expr.constant.is_positive();
        for (const Term& term : c.expr.terms) {
            check_invariant(term.var < n, "constraint names an unknown variable");
            tableau.set(row, term.var, flipped ? -term.coefficient : term.coefficient);
        }
        tableau.set(row, tableau.rhs_col(), flipped ? c.expr.constant : -c.expr.constant);
        row_activity_[i] = next_col;  // the slack or surplus column comes first
        switch (c.relation) {
            case Relation::Le:
                if (!flipped) {
                    tableau.set_basis(row, add_column(row, 1, SLACK_LABEL_BASE + i));
                } else {
                    add_column(row, -1, SLACK_LABEL_BASE + i);
                    add_artificial(row, i);
                }
                break;
            case Relation::Ge:
                add_column(row, flipped ? 1 : -1, SLACK_LABEL_BASE + i);
                add_artificial(row, i);
                break;
            case Relation::Eq:
                add_artificial(row, i);
                break;
        }
    }
    check_invariant(next_col == n + aux, "auxiliary column count mismatch");
    labels_.swap(next_labels_);
}

void LpSolver::write_objective(Tableau& tableau) {
    const std::optional<Objective>& objective = program_->objective;
    if (!objective) return;
    const bool maximize = objective->sense == Sense::Maximize;
    for (const Term& term : objective->expr.terms) {
        check_invariant(term.var < program_->variables.size(), "objective names an unknown variable");
        tableau.set(0, term.var, maximize ? term.coefficient : -term.coefficient);
    }
    if (!objective->expr.constant.is_zero())
        tableau.set(0, tableau.rhs_col(), maximize ? -objective->expr.constant : objective->expr.constant);
}

void LpSolver::start_phase_one() {
    Tableau& tableau = tableau_;
    tableau.save_objective_row();
    tableau.clear_objective_row();
    for (std::size_t col = 0; col < artificial_.size(); ++col)
        if (artificial_[col]) tableau.set(0, col, Rational::integer(-1));
    for (std::size_t row = 1; row <= tableau.num_constraints(); ++row) {
        const std::size_t q = *tableau.basis(row);
        if (!artificial_[q]) continue;
        const Rational f = tableau.get(0, q);
        if (!f.is_zero()) tableau.subtract_from_objective(f, row);
    }
}

void LpSolver::drive_out_artificials() {
    // A row left with its artificial is redundant; no later pivot can change that.
    for (std::size_t row = 1; row <= tableau_.num_constraints(); ++row) {
        if (!artificial_[*tableau_.basis(row)]) continue;
        if (const auto col = tableau_.lowest_nonzero_column(row, artificial_)) {
            tableau_.pivot(row, *col);
            ++pivots_;
        }
    }
}

void LpSolver::price_objective() {
    Tableau& tableau = tableau_;
    tableau.restore_objective_row();
    tableau.price_basic_columns();
}

LpOutcome LpSolver::read_model(const Tableau& tableau) const {
    // A non-basic column is Int 0.
    Model model;
    model.reserve(program_->variables.size());
    for (std::size_t col = 0; col < labels_.size(); ++col) {
        if (!labels_[col].structural) continue;
        const std::optional<Rational> value = tableau.basic_value(col);
        model.push_back({labels_[col].id, value ? reported_value(*value) : ModelValue::integer(0)});
    }
    const std::optional<Objective>& objective = program_->objective;
    const Rational value = objective && objective->sense == Sense::Maximize ? -tableau.objective_value()
                                                                            : tableau.objective_value();
    return LpOutcome::optimal(value.to_f64(), std::move(model));
}

}  // namespace mekra::lp
