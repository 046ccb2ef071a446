#pragma once
// Storage of the tableau's integer form, which takes over from the Rational entries once a
// value no longer fits 64 bits (see Tableau::pivot).
//
// The integer form pivots a column-scaled copy of the tableau: column j of the starting
// tableau (row 0 and the saved objective row included) is multiplied by its least common
// denominator c[j], which makes the starting copy integral with the same unit basis columns.
// Its entries relate to the real ones by t'(i, j) = t(i, j) * c[j] / c[basic column of i]
// (row 0: t(0, j) * c[j]); signs, zero patterns and the order of the ratio test's ratios are
// unchanged, and Dantzig's rule compares t'(0, j) / c[j].
//
// Row i (0..m) holds integers N[i][j] over a positive denominator E[i] of its own, t'(i, j) =
// N[i][j] / E[i]. A pivot on entry P of row r (its integers first divided by their gcd with
// P) makes row r N[r] / |P| (signs flipped with P's), and a row i with entry F in the pivot
// column becomes (N[i] * |P| - sgn(P) * F * N[r]) / (E[i] * |P|). A row with a zero in the
// pivot column is not touched. Rows are reduced (divided by the gcd of E[i] and their
// integers) lazily: once E[i] has grown past one and a half times its length after the last
// reduction, plus 128 bits. Any common factor gives the same values; reducing after every
// step cost more in gcds than the extra digits cost until the next reduction.
// The row-wise reduction costs one gcd per entry, where a fraction-free (Bareiss) step would
// need none; but on real programs with decimal data the Bareiss integers, minors of the
// column-scaled matrix, carry ten times the digits of the reduced rows (the scales of every
// basic column multiply in), and the arithmetic on them costs far more than the gcds.
//
// Columns on demand: when every row had a unit column basic in it before the first pivot (the
// slack and artificial columns the solver starts from), those "reference" columns hold the
// inverse of the current basis, and any other column j of the constraint rows follows from
// the starting rows R: N[i][j] = sum over k of N[i][reference column of k] * R'(k, j), with
// R'(k, j) = R(k, j) * c[j] (the reference columns' scales must be 1). Only the reference
// columns and the right-hand side are then stored and pivoted, m + 1 columns instead of every
// column; the entering column and the pivot row are computed when needed, and row 0 stays
// stored in full. A pivot then costs in proportion to the basis, not to the whole tableau.

#include <gmp.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "lp/large_block_allocator.hpp"

namespace mekra::lp {

// An owned GMP integer.
struct BigInt {
    mpz_t z;
    BigInt() { mpz_init(z); }
    ~BigInt() { mpz_clear(z); }
    BigInt(const BigInt& other) { mpz_init_set(z, other.z); }
    BigInt(BigInt&& other) noexcept {
        mpz_init(z);
        mpz_swap(z, other.z);
    }
    BigInt& operator=(const BigInt& other) {
        mpz_set(z, other.z);
        return *this;
    }
    BigInt& operator=(BigInt&& other) noexcept {
        mpz_swap(z, other.z);
        return *this;
    }
};

// Rows 1..m of one column (index row - 1): a stored column strides through the row-major
// block, a computed one is contiguous.
struct ColumnView {
    const BigInt* base;
    std::size_t stride;
    const BigInt& operator[](std::size_t i) const { return base[i * stride]; }
};

// Scratch of one thread updating rows: two threads update different rows of one pivot at once,
// each scratch on cache lines of its own.
struct alignas(64) RowScratch {
    BigInt common, multiplier, reduced_factor, gcd;
    std::int64_t delta = 0;  // limbs not yet charged
    // Bits of IntegerForm::column_nonzero to flip once the pivot's rows are done: word, bits.
    std::vector<std::pair<std::size_t, std::uint64_t>> column_flips;
    void account(mpz_srcptr z, int limbs_before) { delta += z->_mp_alloc - limbs_before; }
};

struct IntegerForm {
    static constexpr std::uint32_t NONE = UINT32_MAX;

    // `num_stored` columns of the constraint rows are stored (all of them, or the reference
    // columns and the right-hand side; see `slot`).
    IntegerForm(std::size_t num_constraints, std::size_t num_cols, std::size_t num_stored)
        : stored(num_stored),
          cells(num_constraints * num_stored),
          objective(new BigInt[num_cols]),
          row_den(new BigInt[num_constraints + 1]),
          reduced_bits(new std::size_t[num_constraints + 1]()),
          factors(new BigInt[num_constraints + 1]),
          in_pivot_row(new std::uint8_t[num_cols]()),
          slot(num_cols, NONE),
          reference_row(num_cols, NONE),
          row_work(new BigInt[num_cols]),
          in_row_work(num_cols, 0),
          column_work(new BigInt[num_constraints]),
          pivot_entries(num_cols, nullptr) {}
    ~IntegerForm();
    IntegerForm(const IntegerForm&) = delete;
    IntegerForm& operator=(const IntegerForm&) = delete;

    // Counts the bytes of `z` changed from `limbs_before` limbs against the digit budget.
    void account(mpz_srcptr z, int limbs_before) { delta += z->_mp_alloc - limbs_before; }
    // Charges the accumulated change, the row scratches' included; throws MemoryBudgetExceeded
    // past the budget.
    void settle();

    std::size_t stored;                                      // columns stored per constraint row
    std::vector<BigInt, LargeBlockAllocator<BigInt>> cells;  // rows 1..m of the stored columns, row-major
    std::unique_ptr<BigInt[]> objective;                     // row 0
    std::unique_ptr<BigInt[]> row_den;                       // E[0..m]
    std::unique_ptr<std::size_t[]> reduced_bits;             // per row: E's length in bits when last reduced
    std::unique_ptr<BigInt[]> factors;             // pivot workspace: the rows' pivot-column entries
    std::unique_ptr<std::uint8_t[]> in_pivot_row;  // pivot workspace, one flag per column

    // Columns on demand (all empty when every column is stored).
    std::vector<std::uint32_t> slot;           // per column: its place in `cells`, or NONE (computed)
    std::vector<std::uint32_t> reference_row;  // per column: k when it is row k's reference column
    std::vector<std::uint32_t> reference_col;  // per row k (index k - 1): its reference column
    // Per stored column, a bit per constraint row (index row - 1) marking its non-zeros, so that
    // computing a column visits only the non-zeros of the reference columns it combines.
    std::size_t words_per_column = 0;
    std::vector<std::uint64_t> column_nonzero;
    // R' of the computed columns, by rows (k - 1) and by columns.
    std::vector<std::uint32_t> by_row_start, by_row_col;
    std::vector<BigInt> by_row_value;
    std::vector<std::uint32_t> by_col_start, by_col_row;
    std::vector<BigInt> by_col_value;
    // A computed row: its values per column and the computed columns it reached.
    std::unique_ptr<BigInt[]> row_work;
    std::vector<std::uint8_t> in_row_work;
    std::vector<std::uint32_t> row_work_cols;
    // A computed column (rows 1..m at index row - 1), valid for `column_work_col` until a pivot.
    std::unique_ptr<BigInt[]> column_work;
    std::uint32_t column_work_col = NONE;
    // Pivot workspace: the integers of the pivot row's non-zeros, stored columns first.
    std::vector<mpz_ptr> pivot_entries;
    BigInt t1, t2, pivot, gcd;  // scratch
    RowScratch rows[2];         // of the calling thread and of the helper
    std::int64_t delta = 0;     // limbs not yet charged
    std::int64_t charged = 0;   // bytes charged
};

}  // namespace mekra::lp
