// The unique-vertex shortcut of LpSolver. The simplex method's answer is the vertex where it
// stops, and it stops only at an optimal vertex: a vertex of the optimal face. When the exact
// tableau shows that this face has a single vertex, that vertex is the answer of every path,
// the written one included, however long that path would be. A floating-point simplex finds
// a candidate basis quickly; nothing is taken from it unchecked.

#include <algorithm>

#include "core/invariant.hpp"
#include "lp/float_basis.hpp"
#include "lp/solver.hpp"

namespace mekra::lp {

namespace {

constexpr std::size_t NOT_BASIC = SIZE_MAX;

// The shortcut's own tableau moves to the factored form only from this many rows on.
constexpr std::size_t CHECK_FACTORED_MIN_ROWS = 1500;

}  // namespace

std::optional<LpOutcome> LpSolver::solve_by_unique_vertex(std::size_t& pivots) {
    const std::optional<std::vector<std::size_t>> proposed =
        float_optimal_basis(*program_, extra_, row_activity_, unique_vertex_screening_);
    if (!proposed) return std::nullopt;
    // A tableau of its own, written only now: the simplex path keeps the first.
    if (!check_tableau_) {
        check_tableau_ = std::make_unique<Tableau>();
        // Pivoting a basis in from unit columns, sparsest rows first, keeps the explicit
        // inverse sparse, and the integer form did it faster than the factored form (stair
        // 1.2 s against 4.8 s, ship12s 0.06 s against 0.11 s) until the first touch of its
        // m by m + 1 block of integers dominates (stocfor2, 2,157 rows: 1.4 s against 1.0 s).
        check_tableau_->set_factored_form_min_rows(CHECK_FACTORED_MIN_ROWS);
    }
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
    // Pivot the proposed columns in. Only the basis matters, not the order, and a pivot costs
    // in proportion to the rows it touches and to the stored non-zeros of its row, so the
    // order follows Markowitz's rule in spirit: sparser starting columns first, each on the
    // sparsest row whose basic column is not proposed (the lowest on ties). Against the first
    // such row in column order this took modszk1 from 2.6 s to 0.19 s and stair from 5.4 s
    // to 1.4 s.
    std::vector<std::uint8_t> proposed_column(num_var_cols, 0);
    std::vector<std::size_t> column_count(num_var_cols, 0);
    for (std::size_t col : *proposed) {
        proposed_column[col] = 1;
        tableau.column_signs(col, signs);
        column_count[col] = static_cast<std::size_t>(
            std::count_if(signs.begin(), signs.end(), [](std::int8_t s) { return s != 0; }));
    }
    std::vector<std::size_t> order(*proposed);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return column_count[a] < column_count[b]; });
    for (std::size_t col : order) {
        if (row_of[col] != NOT_BASIC) continue;
        tableau.column_signs(col, signs);
        std::size_t row = 0, fewest = SIZE_MAX;
        for (std::size_t r = 1; r <= m; ++r) {
            if (signs[r - 1] == 0 || proposed_column[*tableau.basis(r)]) continue;
            const std::size_t count = tableau.stored_nonzeros(r);
            if (count < fewest) {
                fewest = count;
                row = r;
            }
        }
        if (row == 0) return std::nullopt;  // the proposed columns are dependent
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

    // The optimal face F: the columns with a negative row-0 entry are zero on it; raising those
    // with a zero entry (t >= 0) moves the basic values by -t times their columns, as far as
    // no value falls below zero. If no direction that stays in F lowers a positive value, F
    // is this vertex plus a cone of such directions, whose only vertex is this one. A
    // positive value is settled once no column that may rise has a positive entry in its row.
    // Otherwise one that does lowers it unless a row at zero blocks it: an edge to another
    // optimal vertex. A blocked column is pivoted in on a blocking row, which keeps every
    // value and row 0 (the column's entry there is zero): this is the simplex method on
    // "lower the value", with every step degenerate, and Bland's rule keeps it from cycling.
    std::vector<std::uint8_t> zero_row(m + 1, 0), settled(m + 1, 0);
    for (std::size_t row = 1; row <= m; ++row) zero_row[row] = tableau.sign(row, tableau.rhs_col()) == 0;
    std::vector<std::size_t> lowering(m + 1);  // per row: the lowest column with a positive entry
    std::size_t target = 0;                    // the row being settled; its basic column stays
    for (std::size_t steps = 0;; ++steps) {
        std::fill(lowering.begin(), lowering.end(), NOT_BASIC);
        for (std::size_t col = 0; col < num_var_cols; ++col) {
            if (artificial_[col] || row_of[col] != NOT_BASIC || tableau.sign(0, col) != 0) continue;
            tableau.column_signs(col, signs);
            for (std::size_t row = 1; row <= m; ++row)
                if (signs[row - 1] > 0 && !zero_row[row] && lowering[row] == NOT_BASIC) lowering[row] = col;
        }
        for (std::size_t row = 1; row <= m; ++row)
            if (!zero_row[row] && lowering[row] == NOT_BASIC) settled[row] = 1;
        if (target == 0 || settled[target]) {
            target = 0;
            for (std::size_t row = 1; row <= m && target == 0; ++row)
                if (!zero_row[row] && !settled[row]) target = row;
            if (target == 0) break;  // every positive value settled
        }
        if (steps == 4 * m) return std::nullopt;
        const std::size_t col = lowering[target];
        tableau.column_signs(col, signs);
        std::size_t blocking = 0;  // the blocking row whose basic column is lowest
        for (std::size_t row = 1; row <= m; ++row)
            if (signs[row - 1] > 0 && zero_row[row] && !artificial_row(row) &&
                (blocking == 0 || *tableau.basis(row) < *tableau.basis(blocking)))
                blocking = row;
        if (blocking == 0) return std::nullopt;  // an edge to another optimal vertex
        pivot(blocking, col);
    }
    return read_model(tableau);
}

}  // namespace mekra::lp
