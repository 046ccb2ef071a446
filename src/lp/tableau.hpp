#pragma once
// The exact simplex tableau: m + 1 rows (row 0 the objective row, rows 1..m the constraints)
// of num_cols Rational entries each; the last column is the right-hand side (RHS). Row 0 uses
// the maximisation convention: a positive entry marks a column whose increase improves the
// objective.
//
// Storage: row 0 is a dense row of its own; the constraint rows live in one contiguous
// column-major block (each column's m entries side by side), allocated once and reused by
// `reset`, so the column scans of the ratio test and of a pivot read contiguous memory. Beside
// it a bitmap per constraint row marks exactly its non-zero entries. A pivot walks the
// non-zeros of the pivot row and, per such column, only the rows whose pivot-column entry is
// non-zero; `reset` clears only the non-zeros. Values are exactly those of the dense
// Gauss-Jordan step: skipped entries are zeros, for which the step computes 0 / p = 0 and
// entry - f * 0 = entry, neither of which can overflow; the order of the remaining operations
// within one step does not matter, as each reads only the divided pivot row and its own entry.
//
// Every arithmetic operation is exact; a wide value past the call's digit budget throws
// MemoryBudgetExceeded, and the tableau then holds a partial step, which only `reset` may
// follow. Rational entries keep programs whose values fit 64 bits on inline arithmetic; the
// first pivot after a wide value appeared (or, on a sparse tableau, after many steps with
// fractions: see set_early_conversion) converts the tableau once to an integer form
// (integer_tableau.hpp), rows of integers over one denominator each, which stores only
// the basis inverse and the right-hand side and computes other columns on demand; the solve
// continues there. A tableau of FACTORED_MIN_ROWS rows or more that starts from unit columns
// converts instead to the factored form (factored_tableau.cpp), which keeps an exact LU
// factorization of the basis in place of its inverse. Every form takes the same decisions on
// the same values.
//
// A tableau of FACTORED_MIN_ROWS rows or more starts sparse (sparse_start.cpp): its
// constraint rows are kept as the list of their non-zeros until the first pivot, which moves
// a sparse tableau with unit starting columns straight to the factored form; any other one
// is written into the dense block then. The dense block of a large program (150 MB for
// stocfor2) is then never written at all.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "linear/digit_budget.hpp"
#include "linear/rational.hpp"
#include "lp/factored_basis.hpp"
#include "lp/integer_tableau.hpp"
#include "lp/large_block_allocator.hpp"
#include "lp/pivot_helper.hpp"

namespace mekra::lp {

using linear::MemoryBudgetExceeded;
using linear::Rational;

// A leaving row together with the column basic in it before the pivot.
struct LeavingRow {
    std::size_t row;
    std::size_t column;
    friend bool operator==(const LeavingRow&, const LeavingRow&) = default;
};

// Storage of the tableau's factored form (factored_tableau.cpp).
struct FactoredForm {
    FactoredForm() = default;
    FactoredForm(const FactoredForm&) = delete;
    FactoredForm& operator=(const FactoredForm&) = delete;
    ~FactoredForm();
    // Charges the digits of the integers below against the digit budget (their total, as
    // changed since the last call); throws MemoryBudgetExceeded past it.
    void settle();

    FactoredBasis basis;
    // Column scales c[j]: each column's least common denominator in the starting tableau.
    std::vector<BigInt> scale;
    // Row 0 but its RHS: t(0, j) = objective[j] / (objective_den * c[j]), reduced lazily once
    // the denominator has grown past one and a half times its length then, plus 128 bits.
    std::vector<BigInt> objective;
    BigInt objective_den;
    std::size_t objective_reduced_bits = 1;
    Rational objective_rhs;
    // The starting rows' entries times their column scales, integers (same order as by_row).
    std::vector<BigInt> by_row_scaled;
    // A computed row as integers: t(i, j) = row_integer[j] / (row_den * c[j]).
    std::vector<BigInt> row_integer;
    BigInt row_den;
    BigInt t1, t2, t3, t4;  // scratch
    std::int64_t charged = 0;
    std::int64_t fixed_limbs = 0;  // of by_row_scaled and scale, which never change
    // The starting constraint rows (RHS left out): by rows (k = row - 1) their columns, whose
    // scaled integers are by_row_scaled; by columns their rows and values.
    std::vector<std::uint32_t> by_row_start, by_row_col;
    std::vector<std::uint32_t> by_col_start, by_col_row;
    std::vector<Rational> by_col_value;
    std::vector<Rational> rhs;  // rows 1..m, index row - 1
    // A computed column, valid for `column_col` until a pivot.
    std::vector<Rational> column;
    std::size_t column_col = SIZE_MAX;
    // A computed constraint row: the row of B^-1 it combines (row_multipliers), then its
    // integers (row_integer, above) and the columns it reached.
    std::vector<Rational> row_multipliers;
    std::vector<std::uint8_t> in_row;
    std::vector<std::uint32_t> row_cols;
    // The starting columns of the basis, by position, as the last factorization read them.
    std::vector<std::vector<FactoredBasis::Entry>> basis_columns;
};

class Tableau {
public:
    // The most entries a tableau may have (1 GiB of small Rationals); a larger shape throws
    // MemoryBudgetExceeded, which the call reports as MemoryError.
    static constexpr std::size_t MAX_TABLEAU_ENTRIES = std::size_t{1} << 26;

    Tableau() : Tableau(0, 0) {}
    // n variable columns, m constraint rows: every entry 0, no basic columns.
    Tableau(std::size_t num_var_cols, std::size_t num_constraints);

    // Becomes a fresh Tableau(num_var_cols, num_constraints), reusing the storage. Throws
    // MemoryBudgetExceeded beyond MAX_TABLEAU_ENTRIES.
    void reset(std::size_t num_var_cols, std::size_t num_constraints);

    std::size_t num_constraints() const { return num_constraints_; }
    std::size_t num_cols() const { return num_cols_; }
    std::size_t rhs_col() const { return num_cols_ - 1; }

    Rational get(std::size_t row, std::size_t col) const {
        if (!integer_ && !factored_ && !sparse_start_ && row <= num_constraints_ && col < num_cols_)
            return row == 0 ? objective_[col] : cells_[index(row, col)];
        return get_checked(row, col);
    }
    // Writes an entry; only before the first pivot (an invariant failure in the integer form).
    void set(std::size_t row, std::size_t col, Rational value) {
        if (integer_ || factored_ || row > num_constraints_ || col >= num_cols_) reject_set(row, col);
        if (!value.is_small()) wide_seen_ = true;
        if (!value.is_integer()) fraction_seen_ = true;
        if (row > 0) rows_written_ = true;
        if (row == 0)
            objective_[col] = std::move(value);
        else if (sparse_start_)
            sparse_store(row, col, std::move(value));
        else
            store(row, col, std::move(value));
    }
    // Whether the entries are in the integer form.
    bool integer_form() const { return integer_ != nullptr; }
    // Whether the integer form stores only the reference columns and computes the others.
    bool columns_on_demand() const { return integer_ != nullptr && !integer_->reference_col.empty(); }
    // Whether the entries are in the factored form (see factored_tableau.cpp).
    bool factored_form() const { return factored_ != nullptr; }
    // A tableau of at least this many constraint rows whose starting basic columns can serve as
    // reference columns moves to the factored form instead of the integer form. Below it the
    // explicit inverse is small and its updates cost less than the factored form's solves,
    // whose every operation on wide values takes gcds.
    static constexpr std::size_t FACTORED_MIN_ROWS = 300;
    // Tests: 0 moves every such tableau to the factored form, SIZE_MAX none. Before anything is
    // written to the constraint rows, it also decides whether this shape starts sparse.
    void set_factored_form_min_rows(std::size_t rows);
    // Whether the constraint rows are still held as their list of non-zeros (see above).
    bool sparse_start() const { return sparse_start_; }
    void set_basis(std::size_t row, std::size_t col);
    std::optional<std::size_t> basis(std::size_t row) const;

    // Dantzig's rule: the column with the largest positive row-0 entry, the lowest on ties.
    // `excluded` is empty or a flag per variable column (non-zero: may not enter).
    std::optional<std::size_t> entering_column(std::span<const std::uint8_t> excluded) const;
    // Bland's rule: the lowest admissible column with a positive row-0 entry.
    std::optional<std::size_t> entering_column_bland(std::span<const std::uint8_t> excluded) const;

    // Minimum-ratio test over the rows with a positive entry in `col`, every ratio computed;
    // ties go to the lowest row. None when no row qualifies or the winner has no basic column.
    std::optional<LeavingRow> leaving_row(std::size_t col) const;
    // The same test with ties going to the row whose basic column is lowest.
    std::optional<LeavingRow> leaving_row_bland(std::size_t col) const;

    // Gauss-Jordan step making `col` basic in `row`. A zero pivot is an invariant failure.
    void pivot(std::size_t row, std::size_t col);

    // A pivot of the integer form shares its rows with a second thread when it touches at
    // least this many stored entries (rows times the pivot row's stored non-zeros) and the
    // machine has more than one core; the values do not depend on it.
    static std::size_t default_parallel_pivot_work();
    // 0: every pivot of the integer form that touches two rows or more shares them (tests).
    void set_parallel_pivot_work(std::size_t work) { parallel_pivot_work_ = work; }

    // A sparse tableau (at most one entry in ten non-zero at the first pivot) whose starting
    // basic columns can serve as reference columns moves to the integer form before any value
    // is wide once its inline pivots have made this many row updates with fractional pivot-row
    // entries, which take gcds inline: there a pivot costs in proportion to the basis instead
    // of the whole row.
    static constexpr std::size_t EARLY_CONVERSION_WORK = 30000;
    // Tests: `work` 0 with `any_density` converts at the first pivot whenever it can.
    void set_early_conversion(std::size_t work, bool any_density) {
        early_conversion_work_ = work;
        early_conversion_any_density_ = any_density;
    }

    // The entries the integer form's pivots have updated since the last reset (rows touched
    // times the pivot row's stored non-zeros, summed): a measure of the exact work so far,
    // the same on every run.
    std::size_t integer_work() const { return integer_work_; }

    // The sign (-1, 0, 1) of one entry, without forming its value.
    int sign(std::size_t row, std::size_t col) const;
    // The signs of rows 1..m of column `col` (index row - 1), into `signs`.
    void column_signs(std::size_t col, std::vector<std::int8_t>& signs) const;

    Rational objective_value() const { return get(0, rhs_col()); }
    // The RHS of the first row in which `col` is basic, or none.
    std::optional<Rational> basic_value(std::size_t col) const;

    // Row-0 maintenance for the two-phase method.
    void clear_objective_row();
    // Row 0 minus factor times row `row`, entry by entry (factor * entry, then the difference).
    void subtract_from_objective(const Rational& factor, std::size_t row);
    // Row 0 minus, for each constraint row in order, row 0's entry in the row's basic column
    // divided by the row's entry there, times the row: row 0 in canonical form for the basis.
    void price_basic_columns();
    void save_objective_row();
    void restore_objective_row();  // every column, as saved

    // The stored non-zeros of constraint row `row` (in the integer form with columns on
    // demand, those of the basis inverse and the right-hand side): the work of a pivot that
    // updates it.
    std::size_t stored_nonzeros(std::size_t row) const {
        if (factored_) return 0;
        if (sparse_start_) return sparse_row_nonzeros(row);
        std::size_t count = 0;
        const std::uint64_t* words = &nonzero_[(row - 1) * words_per_row_];
        for (std::size_t w = 0; w < words_per_row_; ++w)
            count += static_cast<std::size_t>(__builtin_popcountll(words[w]));
        return count;
    }

    // The lowest variable column whose entry in `row` is non-zero and that is not excluded.
    std::optional<std::size_t> lowest_nonzero_column(std::size_t row,
                                                     std::span<const std::uint8_t> excluded) const;

private:
    // entering_column over any values, wide ones included.
    std::optional<std::size_t> entering_column_any(std::span<const std::uint8_t> excluded) const;
    // set's invariant failure: an index out of range, or a write in the integer form.
    [[noreturn]] void reject_set(std::size_t row, std::size_t col) const;
    // get's out-of-line part: the integer form, and indices out of range.
    Rational get_checked(std::size_t row, std::size_t col) const;
    // The minimum-ratio test over rows 1..m of `column` and `rhs` (index row - 1).
    template <class WinsTie>
    std::optional<LeavingRow> min_ratio_row(const Rational* column, const Rational* rhs,
                                            WinsTie wins_tie) const;
    template <class WinsTie>
    std::optional<LeavingRow> min_ratio_row(std::size_t col, WinsTie wins_tie) const;

    // The sparse start (sparse_start.cpp).
    // Writes entry (row >= 1, col): in order after the last one written, appended (zeros are
    // left out); otherwise the rows move to the dense block first.
    void sparse_store(std::size_t row, std::size_t col, Rational value);
    // The written entries of constraint row `row`: reference_[first, last).
    std::pair<std::size_t, std::size_t> sparse_row(std::size_t row) const;
    std::size_t sparse_row_nonzeros(std::size_t row) const;
    Rational sparse_value(std::size_t row, std::size_t col) const;
    // Rows 1..m of column `col` (index row - 1) into `column`.
    void sparse_column(std::size_t col, std::vector<Rational>& column) const;
    // Writes the rows into the dense block, which they continue in.
    void leave_sparse_start();
    // At the first pivot: to the factored form when the tableau qualifies, else dense.
    void end_sparse_start();
    // Sizes the dense block for the current shape (all zeros).
    void make_dense_block();
    // After a reset or a new FACTORED_MIN_ROWS: starts sparse, or makes the dense block.
    void choose_start();

    // The factored form (factored_tableau.cpp).
    void convert_to_factored();
    // Factors the current basis afresh.
    void refactor();
    // Rows 1..m of column `col` (index row - 1), valid until the next pivot.
    const std::vector<Rational>& factored_column(std::size_t col) const;
    // Constraint row `row` into the form's row workspace (its columns listed), RHS left out.
    void factored_row(std::size_t row) const;
    Rational factored_value(std::size_t row, std::size_t col) const;
    void factored_pivot(std::size_t row, std::size_t col);
    void factored_subtract_from_objective(const Rational& factor, std::size_t row);
    void factored_price_basic_columns();
    // The row workspace := row_multipliers^T times the starting rows.
    void combine_starting_rows() const;
    // Row 0 := row 0 - factor * the row workspace (RHS: factor * rhs_value), then settles.
    void factored_subtract_row(const Rational& factor, const Rational& rhs_value);
    std::optional<std::size_t> factored_entering_column(std::span<const std::uint8_t> excluded) const;
    std::optional<std::size_t> factored_entering_column_bland(std::span<const std::uint8_t> excluded) const;
    // Row 0 from Rational values (objective_, then cleared).
    void factored_objective_from(std::vector<Rational>& values);
    std::optional<std::size_t> factored_lowest_nonzero_column(std::size_t row,
                                                              std::span<const std::uint8_t> excluded) const;

    // The integer form (integer_tableau.cpp).
    // Before the first pivot: each column's least common denominator (see integer_tableau.hpp).
    void record_column_scales();
    // Before the first pivot: keeps the starting constraint rows and their basic columns;
    // returns the number of non-zero constraint entries.
    std::size_t record_reference();
    // Whether every row's starting basic column can serve as its reference column (see
    // integer_tableau.hpp); only after record_column_scales and record_reference.
    bool has_reference_columns() const;
    // Sets every column scale to 1 in GMP.
    void write_unit_scales();
    // Whether an inline tableau moves to the integer form now (see set_early_conversion).
    bool converts_early();
    // Indexes the starting rows (reference_, in row order) by rows, k = row - 1 (starts and
    // columns), and by columns (starts, rows k, and each entry's place in reference_); with
    // each entry times its column scale, an integer, in row order.
    void index_reference(std::vector<std::uint32_t>& by_row_start, std::vector<std::uint32_t>& by_row_col,
                         std::vector<std::uint32_t>& by_col_start, std::vector<std::uint32_t>& by_col_row,
                         std::vector<std::uint32_t>& by_col_entry, std::vector<BigInt>& by_row_scaled) const;
    // Converts the Rational entries (then cleared) to the integer form.
    void convert_to_integers();
    void release_integers();
    // The column scale of row `row`'s basic column (1 for row 0 and for a row without one).
    mpz_srcptr row_scale(std::size_t row) const;
    Rational integer_value(std::size_t row, std::size_t col) const;
    int integer_sign(std::size_t row, std::size_t col) const;
    void integer_column_signs(std::size_t col, std::vector<std::int8_t>& signs) const;
    std::optional<std::size_t> integer_entering_column(std::span<const std::uint8_t> excluded) const;
    std::optional<std::size_t> integer_entering_column_bland(std::span<const std::uint8_t> excluded) const;
    // The minimum-ratio test with ratios compared by cross-multiplication; `bland` chooses the
    // tie rule of leaving_row_bland.
    std::optional<LeavingRow> integer_leaving_row(std::size_t col, bool bland) const;
    void integer_pivot(std::size_t row, std::size_t col);
    // The integers of a constraint row's stored column (integer form).
    mpz_ptr stored_cell(std::size_t row, std::size_t col) const;
    // Rows 1..m of column `col` (at index row - 1), stored or computed into the workspace.
    ColumnView integer_column(std::size_t col) const;
    // Computes the columns of constraint row `row` that are not stored into the row workspace.
    void compute_row(std::size_t row) const;
    // Calls visit(col, integers) for every non-zero entry of constraint row `row`, stored or
    // computed (compute_row first).
    template <class Visit>
    void for_each_row_entry(std::size_t row, Visit visit) const;
    // Calls visit(col, integers) for every stored non-zero of row `row` (0..m): row 0's
    // entries, or a constraint row's stored columns.
    template <class Visit>
    void for_each_stored_integer(std::size_t row, Visit visit) const;
    std::optional<std::size_t> integer_lowest_nonzero_column(std::size_t row,
                                                             std::span<const std::uint8_t> excluded) const;
    void integer_subtract_from_objective(const Rational& factor, std::size_t row);
    void integer_restore_objective_row();
    // Divides row `row`'s integers and denominator by their gcd (constraint rows: the stored
    // columns, whose gcd divides the computed ones) and records the denominator's length.
    void reduce_row(std::size_t row, RowScratch& scratch);
    // Constraint row `row` (1..m), column `col`.
    std::size_t index(std::size_t row, std::size_t col) const { return col * num_constraints_ + (row - 1); }
    std::uint64_t& nonzero_word(std::size_t row, std::size_t col) {
        return nonzero_[(row - 1) * words_per_row_ + col / 64];
    }
    static std::uint64_t bit(std::size_t col) { return std::uint64_t{1} << (col % 64); }
    // Writes an entry of a constraint row, keeping its non-zero bit.
    void store(std::size_t row, std::size_t col, Rational value) {
        Rational& entry = cells_[index(row, col)];
        if (entry.is_zero() != value.is_zero()) nonzero_word(row, col) ^= bit(col);
        entry = std::move(value);
    }
    // Calls visit(col) for every non-zero entry of constraint row `row`, in ascending order.
    template <class Visit>
    void for_each_nonzero(std::size_t row, Visit visit) const {
        const std::uint64_t* words = &nonzero_[(row - 1) * words_per_row_];
        for (std::size_t w = 0; w < words_per_row_; ++w)
            for (std::uint64_t bits = words[w]; bits != 0; bits &= bits - 1)
                visit(w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
    }
    static bool admissible(std::span<const std::uint8_t> excluded, std::size_t col) {
        return excluded.empty() || excluded[col] == 0;
    }

    std::size_t num_constraints_ = 0;
    std::size_t num_cols_ = 1;
    std::size_t words_per_row_ = 1;
    std::vector<Rational> objective_;                             // row 0, dense
    std::vector<Rational, LargeBlockAllocator<Rational>> cells_;  // rows 1..m, column-major
    std::vector<std::uint64_t> nonzero_;                          // per row 1..m: words_per_row_ words
    // Whether cells_ and nonzero_ hold this shape's constraint rows (not so while it starts
    // sparse, nor after a sparse start moved to the factored form).
    bool dense_rows_ = false;
    // The sparse start: the rows' entries in reference_ (row, then column order), the first
    // entry of each row written so far (index row - 1) and the last row written, and the RHS.
    bool sparse_start_ = false;
    std::vector<std::uint32_t> sparse_row_first_;
    std::size_t sparse_last_row_ = 0;
    std::vector<Rational> sparse_rhs_;  // rows 1..m, index row - 1
    // The entries by column (starts, places in reference_), built by the first column read.
    mutable std::vector<std::uint32_t> sparse_col_start_, sparse_col_entry_;
    mutable bool sparse_cols_valid_ = false;
    // Whether anything was written to a constraint row since the last reset.
    bool rows_written_ = false;
    std::vector<std::optional<std::size_t>> basis_;  // per row; row 0 never set
    // Pivot workspace: the divided pivot row's non-zeros, the other rows' pivot-column entries.
    std::vector<std::uint32_t> pivot_cols_;
    std::vector<Rational> pivot_values_;
    std::vector<std::uint32_t> factor_rows_;
    std::vector<Rational> factor_values_;
    std::vector<Rational> saved_objective_;
    // Whether a wide value has been written since the last reset: the next pivot converts.
    bool wide_seen_ = false;
    // Whether a non-integer value has been written since the last reset: before the first
    // pivot, whether any column scale differs from 1.
    bool fraction_seen_ = false;
    bool pivoted_ = false;              // since the last reset
    bool saved_valid_ = false;          // saved_objective_ belongs to this solve
    std::vector<BigInt> column_scale_;  // see record_column_scales
    // The starting constraint rows' entries (row, column, value, in row order; the RHS
    // column left out) and each row's basic column then (IntegerForm::NONE for none).
    struct ReferenceEntry {
        std::uint32_t row, col;
        Rational value;
    };
    std::vector<ReferenceEntry> reference_;
    std::vector<std::uint32_t> reference_col_;

    bool unit_scales_ = true;      // every column scale is 1
    bool scales_written_ = false;  // column_scale_ holds this solve's scales
    std::unique_ptr<IntegerForm> integer_;
    std::unique_ptr<FactoredForm> factored_;
    std::size_t factored_min_rows_ = FACTORED_MIN_ROWS;
    std::size_t parallel_pivot_work_ = default_parallel_pivot_work();
    std::unique_ptr<PivotHelper> pivot_helper_;  // started by the first pivot that shares its rows
    // Early conversion (see set_early_conversion).
    std::size_t early_conversion_work_ = EARLY_CONVERSION_WORK;
    bool early_conversion_any_density_ = false;
    enum class EarlyConversion : std::uint8_t { Never, IfReferenceColumns };
    EarlyConversion early_conversion_ = EarlyConversion::Never;  // decided at the first pivot
    std::size_t inline_fraction_work_ = 0;                       // since the last reset
    std::size_t integer_work_ = 0;                               // since the last reset
};

}  // namespace mekra::lp
