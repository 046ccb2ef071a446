// The unique-vertex shortcut of LpSolver. The simplex method's answer is the vertex where it
// stops, and it stops only at an optimal vertex: a vertex of the optimal face. When the exact
// tableau shows that this face has a single vertex, that vertex is the answer of every path,
// the written one included, however long that path would be. A floating-point simplex finds
// a candidate basis quickly; nothing is taken from it unchecked.

#include "core/invariant.hpp"
#include "lp/float_basis.hpp"
#include "lp/solver.hpp"

namespace mekra::lp {

namespace {

constexpr std::size_t NOT_BASIC = SIZE_MAX;

}  // namespace

std::optional<LpOutcome> LpSolver::solve_by_unique_vertex(std::size_t& pivots) {
    const std::optional<std::vector<std::size_t>> proposed =
        float_optimal_basis(*program_, extra_, row_activity_, unique_vertex_screening_);
    if (!proposed) return std::nullopt;
    // A tableau of its own, written only now: the simplex path keeps the first.
    if (!check_tableau_) check_tableau_ = std::make_unique<Tableau>();
    Tableau& tableau = *check_tableau_;
    write_constraints(tableau);
    write_objective(tableau);
    const std::size_t m = tableau.num_constraints();
    const std::size_t num_var_cols = tableau.num_cols() - 1;
    const auto artificial_row = [&](std::size_t row) { return artificial_[*tableau.basis(row)] != 0; };

    std::vector<std::size_t> row_of(num_var_cols, NOT_BASIC);
    for (std::size_t row = 1; row <= m; ++row) row_of[*tableau.basis(row)] = row;
    const auto pivot = [&](std::size_t row, std::size_t col) {
        row_of[*tableau.basis(row)] = NOT_BASIC;
        tableau.pivot(row, col);
        ++pivots;
        row_of[col] = row;
    };
    std::vector<std::int8_t> signs;
    // Pivot the proposed columns in, each on the first row whose basic column is not proposed.
    std::vector<std::uint8_t> proposed_column(num_var_cols, 0);
    for (std::size_t col : *proposed) proposed_column[col] = 1;
    for (std::size_t col : *proposed) {
        if (row_of[col] != NOT_BASIC) continue;
        tableau.column_signs(col, signs);
        std::size_t row = 1;
        while (row <= m && (signs[row - 1] == 0 || proposed_column[*tableau.basis(row)])) ++row;
        if (row > m) return std::nullopt;  // the proposed columns are dependent
        pivot(row, col);
    }

    // Feasible: every basic value non-negative, an artificial column basic only at zero.
    for (std::size_t row = 1; row <= m; ++row) {
        const int value = tableau.sign(row, tableau.rhs_col());
        if (value < 0 || (value != 0 && artificial_row(row))) return std::nullopt;
    }

    // Artificial columns basic at zero leave where a non-artificial column can take
    // their row; a degenerate pivot keeps every value. The rows that keep one are
    // redundant: no other column has an entry in them.
    for (std::size_t row = 1; row <= m; ++row)
        if (artificial_row(row))
            if (const std::optional<std::size_t> col = tableau.lowest_nonzero_column(row, artificial_))
                pivot(row, *col);

    // Rounding may leave a feasible basis a few steps short of optimal: finish with
    // exact simplex steps.
    for (std::size_t steps = 0;; ++steps) {
        const std::optional<std::size_t> col = tableau.entering_column(artificial_);
        if (!col) break;
        if (steps == m) return std::nullopt;
        const std::optional<LeavingRow> leaving = tableau.leaving_row(*col);
        if (!leaving) return std::nullopt;  // unbounded: the simplex path will say so
        pivot(leaving->row, *col);
    }

    // The optimal face: the columns with a negative row-0 entry are zero on it, and raising
    // those with a zero entry (t >= 0) moves the basic values by -t times their columns. Rows
    // with a basic value of zero then bound t by homogeneous inequalities (equalities for an
    // artificial column) and form a cone; rows with a positive value never bind if no such
    // column has a positive entry in them. The face is then this vertex plus a pointed cone,
    // whose only vertex is this one.
    // A column that has such an entry leads to another optimal vertex unless a row with a
    // basic value of zero blocks it. Then a pivot on that row, which keeps every value and
    // row 0, gives another basis of the same vertex, where the test may pass.
    std::vector<std::uint8_t> zero_row(m + 1, 0);
    for (std::size_t row = 1; row <= m; ++row) zero_row[row] = tableau.sign(row, tableau.rhs_col()) == 0;
    for (std::size_t steps = 0;; ++steps) {
        std::optional<LeavingRow> blocked;
        for (std::size_t col = 0; col < num_var_cols && !blocked; ++col) {
            if (artificial_[col] || row_of[col] != NOT_BASIC || tableau.sign(0, col) != 0) continue;
            tableau.column_signs(col, signs);
            bool leads_away = false;
            std::size_t blocking_row = 0;
            for (std::size_t row = 1; row <= m; ++row) {
                if (signs[row - 1] <= 0) continue;
                if (!zero_row[row]) leads_away = true;
                // Among the blocking rows, the one whose basic column is lowest (Bland's rule).
                if (zero_row[row] && !artificial_row(row) &&
                    (blocking_row == 0 || *tableau.basis(row) < *tableau.basis(blocking_row)))
                    blocking_row = row;
            }
            if (!leads_away) continue;
            if (blocking_row == 0) return std::nullopt;  // an edge to another optimal vertex
            blocked = LeavingRow{blocking_row, col};
        }
        if (!blocked) break;
        if (steps == m) return std::nullopt;
        pivot(blocked->row, blocked->column);
    }
    return read_model(tableau);
}

}  // namespace mekra::lp
