#include "lp/tableau.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"

namespace mekra::lp {

namespace {

// a / b; dividing by 1 gives a exactly and cannot overflow.
inline Rational divide(const Rational& a, const Rational& b) { return b == Rational::integer(1) ? a : a / b; }

}  // namespace

Tableau::Tableau(std::size_t num_var_cols, std::size_t num_constraints) {
    reset(num_var_cols, num_constraints);
}

void Tableau::reset(std::size_t num_var_cols, std::size_t num_constraints) {
    // A dense tableau beyond the budget is refused before anything is allocated; input of a
    // few hundred kilobytes could otherwise ask for more memory than the machine has.
    if (num_var_cols >= MAX_TABLEAU_ENTRIES || num_constraints >= MAX_TABLEAU_ENTRIES ||
        (num_constraints + 1) * (num_var_cols + 1) > MAX_TABLEAU_ENTRIES)
        throw MemoryBudgetExceeded("the simplex tableau of " + std::to_string(num_constraints) +
                                   " constraint rows and " + std::to_string(num_var_cols) +
                                   " variable columns exceeds the limit of " +
                                   std::to_string(MAX_TABLEAU_ENTRIES) + " entries");
    release_integers();
    factored_.reset();
    wide_seen_ = false;
    fraction_seen_ = false;
    pivoted_ = false;
    saved_valid_ = false;
    early_conversion_ = EarlyConversion::Never;
    inline_fraction_work_ = 0;
    integer_work_ = 0;
    // Clear what the previous shape wrote, so the block is all zeros again.
    if (dense_rows_)
        for (std::size_t row = 1; row <= num_constraints_; ++row)
            for_each_nonzero(row, [&](std::size_t col) { cells_[index(row, col)] = Rational(); });
    dense_rows_ = false;
    rows_written_ = false;
    num_constraints_ = num_constraints;
    num_cols_ = num_var_cols + 1;
    words_per_row_ = (num_cols_ + 63) / 64;
    choose_start();
    objective_.assign(num_cols_, Rational());
    basis_.assign(num_constraints + 1, std::nullopt);
    pivot_cols_.resize(num_cols_);
    pivot_values_.resize(num_cols_);
    factor_rows_.resize(num_constraints);
    factor_values_.resize(num_constraints);
}

Rational Tableau::get_checked(std::size_t row, std::size_t col) const {
    check_invariant(row <= num_constraints_ && col < num_cols_, "tableau index out of range");
    if (integer_) return integer_value(row, col);
    if (factored_) return factored_value(row, col);
    if (row == 0) return objective_[col];
    return sparse_start_ ? sparse_value(row, col) : cells_[index(row, col)];
}

int Tableau::sign(std::size_t row, std::size_t col) const {
    check_invariant(row <= num_constraints_ && col < num_cols_, "tableau index out of range");
    if (integer_) return integer_sign(row, col);
    if (factored_) {
        const Rational entry = factored_value(row, col);
        return entry.is_positive() ? 1 : entry.is_negative() ? -1 : 0;
    }
    if (sparse_start_ && row > 0) {
        const Rational entry = sparse_value(row, col);
        return entry.is_positive() ? 1 : entry.is_negative() ? -1 : 0;
    }
    const Rational& entry = row == 0 ? objective_[col] : cells_[index(row, col)];
    return entry.is_positive() ? 1 : entry.is_negative() ? -1 : 0;
}

void Tableau::column_signs(std::size_t col, std::vector<std::int8_t>& signs) const {
    check_invariant(col < num_cols_, "tableau index out of range");
    signs.resize(num_constraints_);
    if (integer_) return integer_column_signs(col, signs);
    if (num_constraints_ == 0) return;
    std::vector<Rational> sparse;
    if (sparse_start_) sparse_column(col, sparse);
    const Rational* column = factored_       ? factored_column(col).data()
                             : sparse_start_ ? sparse.data()
                                             : &cells_[index(1, col)];
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        const Rational& entry = column[row - 1];
        signs[row - 1] = static_cast<std::int8_t>(entry.is_positive() ? 1 : entry.is_negative() ? -1 : 0);
    }
}

void Tableau::reject_set(std::size_t row, std::size_t col) const {
    check_invariant(row <= num_constraints_ && col < num_cols_, "tableau index out of range");
    fail_invariant("tableau entry written in the integer form");
}

void Tableau::set_basis(std::size_t row, std::size_t col) {
    check_invariant(row <= num_constraints_ && col + 1 < num_cols_, "basis index out of range");
    basis_[row] = col;
}

std::optional<std::size_t> Tableau::basis(std::size_t row) const {
    check_invariant(row <= num_constraints_, "basis index out of range");
    return basis_[row];
}

std::optional<std::size_t> Tableau::entering_column(std::span<const std::uint8_t> excluded) const {
    if (integer_) return integer_entering_column(excluded);
    if (factored_) return factored_entering_column(excluded);
    if (!wide_seen_) {
        // Every entry is small: compare numerators and denominators in place, as operator<
        // does, without its per-value test for the wide form.
        std::int64_t best_num = 0, best_den = 1;
        std::optional<std::size_t> kept;
        for (std::size_t col = 0; col + 1 < num_cols_; ++col) {
            const Rational& value = objective_[col];
            if (!value.is_small()) return entering_column_any(excluded);
            const std::int64_t num = value.small_numerator();
            if (num <= 0 || !admissible(excluded, col)) continue;
            const std::int64_t den = value.small_denominator();
            if (!kept || (den == best_den ? best_num < num
                                          : static_cast<__int128>(best_num) * den <
                                                static_cast<__int128>(num) * best_den)) {
                best_num = num;
                best_den = den;
                kept = col;
            }
        }
        return kept;
    }
    return entering_column_any(excluded);
}

std::optional<std::size_t> Tableau::entering_column_any(std::span<const std::uint8_t> excluded) const {
    const Rational* best = nullptr;  // the kept column's entry
    std::size_t kept = 0;
    for (std::size_t col = 0; col + 1 < num_cols_; ++col) {
        const Rational& value = objective_[col];
        if (!value.is_positive() || !admissible(excluded, col)) continue;
        if (best == nullptr || *best < value) {
            best = &value;
            kept = col;
        }
    }
    if (best == nullptr) return std::nullopt;
    return kept;
}

std::optional<std::size_t> Tableau::entering_column_bland(std::span<const std::uint8_t> excluded) const {
    if (integer_) return integer_entering_column_bland(excluded);
    if (factored_) return factored_entering_column_bland(excluded);
    for (std::size_t col = 0; col + 1 < num_cols_; ++col)
        if (objective_[col].is_positive() && admissible(excluded, col)) return col;
    return std::nullopt;
}

// The minimum-ratio test over the rows with a positive entry in `col`, in ascending order: a
// later row replaces the kept one when its ratio is smaller, or equal and `wins_tie` says so.
// Once a zero ratio is kept, a row with a positive right-hand side (a positive ratio) cannot
// win and its ratio is not formed: degenerate programs keep zero ratios at most pivots, and
// their other ratios are often wide.
template <class WinsTie>
std::optional<LeavingRow> Tableau::min_ratio_row(std::size_t col, WinsTie wins_tie) const {
    check_invariant(col + 1 < num_cols_, "entering column out of range");
    if (num_constraints_ == 0) return std::nullopt;
    if (factored_) return min_ratio_row(factored_column(col).data(), factored_->rhs.data(), wins_tie);
    if (sparse_start_) {
        std::vector<Rational> column;
        sparse_column(col, column);
        return min_ratio_row(column.data(), sparse_rhs_.data(), wins_tie);
    }
    return min_ratio_row(&cells_[index(1, col)], &cells_[index(1, rhs_col())], wins_tie);
}

template <class WinsTie>
std::optional<LeavingRow> Tableau::min_ratio_row(const Rational* column, const Rational* rhs,
                                                 WinsTie wins_tie) const {
    std::optional<std::size_t> best;
    Rational best_ratio;
    for (std::size_t k = 0; k < num_constraints_; ++k) {
        if (!column[k].is_positive()) continue;
        if (best && best_ratio.is_zero() && rhs[k].is_positive()) continue;
        Rational ratio = divide(rhs[k], column[k]);
        if (!best || ratio < best_ratio || (ratio == best_ratio && wins_tie(k + 1, *best))) {
            best = k + 1;
            best_ratio = std::move(ratio);
        }
    }
    if (!best || !basis_[*best]) return std::nullopt;
    return LeavingRow{*best, *basis_[*best]};
}

std::optional<LeavingRow> Tableau::leaving_row(std::size_t col) const {
    // Ties go to the lowest row.
    if (integer_) return integer_leaving_row(col, false);
    return min_ratio_row(col, [](std::size_t, std::size_t) { return false; });
}

std::optional<LeavingRow> Tableau::leaving_row_bland(std::size_t col) const {
    // Ties go to the lowest basic column; a row without a basic column loses every tie (and
    // yields none when it wins).
    if (integer_) return integer_leaving_row(col, true);
    const auto basic_rank = [&](std::size_t row) {
        return basis_[row] ? *basis_[row] : std::numeric_limits<std::size_t>::max();
    };
    return min_ratio_row(
        col, [&](std::size_t row, std::size_t kept) { return basic_rank(row) < basic_rank(kept); });
}

bool Tableau::converts_early() {
    if (early_conversion_ != EarlyConversion::IfReferenceColumns ||
        inline_fraction_work_ < early_conversion_work_)
        return false;
    // Whether the reference columns qualify is asked once, here.
    if (has_reference_columns()) return true;
    early_conversion_ = EarlyConversion::Never;
    return false;
}

void Tableau::pivot(std::size_t row, std::size_t col) {
    check_invariant(row >= 1 && row <= num_constraints_ && col + 1 < num_cols_, "pivot index out of range");
    if (sparse_start_) end_sparse_start();
    if (!pivoted_) {
        record_column_scales();
        const std::size_t nonzeros = record_reference();
        pivoted_ = true;
        const bool sparse = nonzeros <= num_constraints_ * num_cols_ / 10;
        early_conversion_ = sparse || early_conversion_any_density_ ? EarlyConversion::IfReferenceColumns
                                                                    : EarlyConversion::Never;
    }
    if (!integer_ && !factored_ && (wide_seen_ || converts_early())) {
        if (num_constraints_ >= factored_min_rows_ && has_reference_columns())
            convert_to_factored();
        else
            convert_to_integers();
    }
    if (factored_) {
        factored_pivot(row, col);
        return;
    }
    if (integer_) {
        integer_pivot(row, col);
        return;
    }
    const Rational p = cells_[index(row, col)];  // a copy: the division below overwrites the entry
    check_invariant(!p.is_zero(), "pivot value is zero");
    bool wide = false;

    // Divide the pivot row, collecting its non-zero columns and their new values (a quotient
    // of non-zeros is non-zero, so the row's bits stay).
    std::uint32_t width = 0, fractional = 0;
    const bool unit_pivot = p == Rational::integer(1);
    for_each_nonzero(row, [&](std::size_t j) {
        Rational& entry = cells_[index(row, j)];
        if (!unit_pivot) entry = entry / p;
        wide = wide || !entry.is_small();
        fractional += entry.is_integer() ? 0 : 1;
        pivot_cols_[width] = static_cast<std::uint32_t>(j);
        pivot_values_[width] = entry;
        ++width;
    });

    // The other constraint rows with a non-zero entry f in the pivot column, f read before
    // anything changes.
    std::size_t factors = 0;
    const Rational* column = &cells_[index(1, col)];
    for (std::size_t k = 0; k < num_constraints_; ++k) {
        if (column[k].is_zero() || k + 1 == row) continue;
        factor_rows_[factors] = static_cast<std::uint32_t>(k + 1);
        factor_values_[factors] = column[k];
        ++factors;
    }

    // entry - f * (divided pivot-row entry), column by column so that each inner loop runs
    // down one contiguous column.
    const Rational f0 = objective_[col];  // a copy: column `col` of row 0 changes on the way
    for (std::uint32_t k = 0; k < width; ++k) {
        const std::size_t j = pivot_cols_[k];
        const Rational& pivot_entry = pivot_values_[k];
        if (!f0.is_zero()) {
            Rational::subtract_product(objective_[j], f0, pivot_entry);
            wide = wide || !objective_[j].is_small();
        }
        Rational* target = &cells_[index(1, j)];
        for (std::size_t t = 0; t < factors; ++t) {
            const std::size_t other = factor_rows_[t];
            Rational& entry = target[other - 1];
            const bool was_zero = entry.is_zero();
            Rational::subtract_product(entry, factor_values_[t], pivot_entry);
            wide = wide || !entry.is_small();
            if (was_zero != entry.is_zero()) nonzero_word(other, j) ^= bit(j);
        }
    }
    basis_[row] = col;
    wide_seen_ = wide_seen_ || wide;
    inline_fraction_work_ += factors * fractional;
}

std::optional<Rational> Tableau::basic_value(std::size_t col) const {
    for (std::size_t row = 1; row <= num_constraints_; ++row)
        if (basis_[row] == col) return get(row, rhs_col());
    return std::nullopt;
}

void Tableau::clear_objective_row() {
    std::fill(objective_.begin(), objective_.end(), Rational());
    if (factored_) factored_objective_from(objective_);
    if (integer_)
        for (std::size_t j = 0; j < num_cols_; ++j) mpz_set_ui(integer_->objective[j].z, 0);
}

void Tableau::subtract_from_objective(const Rational& factor, std::size_t row) {
    check_invariant(row >= 1 && row <= num_constraints_, "row index out of range");
    if (integer_) {
        integer_subtract_from_objective(factor, row);
        return;
    }
    if (factored_) {
        factored_subtract_from_objective(factor, row);
        return;
    }
    const auto subtract = [&](std::size_t j, const Rational& entry) {
        const Rational product = factor * entry;
        objective_[j] = objective_[j] - product;
        if (!objective_[j].is_small()) wide_seen_ = true;
        if (!objective_[j].is_integer()) fraction_seen_ = true;
    };
    if (sparse_start_) {
        const auto [first, last] = sparse_row(row);
        for (std::size_t at = first; at < last; ++at) subtract(reference_[at].col, reference_[at].value);
        if (!sparse_rhs_[row - 1].is_zero()) subtract(rhs_col(), sparse_rhs_[row - 1]);
        return;
    }
    for_each_nonzero(row, [&](std::size_t j) { subtract(j, cells_[index(row, j)]); });
}

void Tableau::price_basic_columns() {
    if (factored_) return factored_price_basic_columns();
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        const std::size_t q = *basis(row);
        const Rational entry = get(row, q);
        const Rational f = get(0, q);
        if (!entry.is_zero() && !f.is_zero()) subtract_from_objective(f / entry, row);
    }
}

void Tableau::save_objective_row() {
    saved_valid_ = true;
    if (!integer_ && !factored_) {
        saved_objective_ = objective_;
        return;
    }
    saved_objective_.resize(num_cols_);
    for (std::size_t j = 0; j < num_cols_; ++j) saved_objective_[j] = get_checked(0, j);
}

void Tableau::restore_objective_row() {
    if (integer_) {
        integer_restore_objective_row();
        return;
    }
    if (factored_) {
        objective_ = saved_objective_;
        factored_objective_from(objective_);
        return;
    }
    objective_ = saved_objective_;
    for (const Rational& value : objective_) {
        if (!value.is_small()) wide_seen_ = true;
        if (!value.is_integer()) fraction_seen_ = true;
    }
}

std::optional<std::size_t> Tableau::lowest_nonzero_column(std::size_t row,
                                                          std::span<const std::uint8_t> excluded) const {
    check_invariant(row >= 1 && row <= num_constraints_, "row index out of range");
    if (integer_) return integer_lowest_nonzero_column(row, excluded);
    if (factored_) return factored_lowest_nonzero_column(row, excluded);
    if (sparse_start_) {
        const auto [first, last] = sparse_row(row);
        for (std::size_t at = first; at < last; ++at)
            if (admissible(excluded, reference_[at].col)) return reference_[at].col;
        return std::nullopt;
    }
    std::optional<std::size_t> lowest;
    for_each_nonzero(row, [&](std::size_t col) {
        if (!lowest && col != rhs_col() && admissible(excluded, col)) lowest = col;
    });
    return lowest;
}

}  // namespace mekra::lp
