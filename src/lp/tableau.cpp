#include "lp/tableau.hpp"

#include <limits>

#include "module/invariant.hpp"

namespace mekra {

Tableau::Tableau(std::size_t num_var_cols, std::size_t num_constraints) {
    reset(num_var_cols, num_constraints);
}

void Tableau::reset(std::size_t num_var_cols, std::size_t num_constraints) {
    // Clear what the previous shape wrote, so the block is all zeros again.
    for (std::size_t row = 0; row < list_len_.size(); ++row) {
        const std::uint32_t* cols = &listed_cols_[row * num_cols_];
        for (std::uint32_t k = 0; k < list_len_[row]; ++k) {
            cells_[index(row, cols[k])] = Rational();
            listed_[index(row, cols[k])] = 0;
        }
    }
    check_invariant(num_var_cols < std::numeric_limits<std::uint32_t>::max(),
                    "tableau has too many columns");
    num_constraints_ = num_constraints;
    num_cols_ = num_var_cols + 1;
    const std::size_t rows = num_constraints + 1;
    const std::size_t size = rows * num_cols_;
    if (cells_.size() < size) {
        // Fresh zeroed storage; the old block is all zeros and simply dropped.
        cells_ = std::vector<Rational>(size);
        listed_ = std::vector<std::uint8_t>(size, 0);
        listed_cols_.resize(size);
    }
    list_len_.assign(rows, 0);
    basis_.assign(rows, std::nullopt);
    pivot_cols_.resize(num_cols_);
    saved_cols_.resize(num_cols_);
    saved_values_.resize(num_cols_);
}

Rational Tableau::get(std::size_t row, std::size_t col) const {
    check_invariant(row <= num_constraints_ && col < num_cols_, "tableau index out of range");
    return cells_[index(row, col)];
}

void Tableau::set(std::size_t row, std::size_t col, Rational value) {
    check_invariant(row <= num_constraints_ && col < num_cols_, "tableau index out of range");
    store(row, col, value);
}

void Tableau::store(std::size_t row, std::size_t col, Rational value) {
    const std::size_t at = index(row, col);
    if (!value.is_zero() && listed_[at] == 0) {
        listed_[at] = 1;
        listed_cols_[row * num_cols_ + list_len_[row]++] = static_cast<std::uint32_t>(col);
    }
    cells_[at] = value;
}

void Tableau::compact_row(std::size_t row) {
    std::uint32_t* cols = &listed_cols_[row * num_cols_];
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < list_len_[row]; ++k) {
        if (cells_[index(row, cols[k])].is_zero())
            listed_[index(row, cols[k])] = 0;
        else
            cols[kept++] = cols[k];
    }
    list_len_[row] = kept;
}

void Tableau::set_basis(std::size_t row, std::size_t col) {
    check_invariant(row <= num_constraints_ && col + 1 < num_cols_, "basis index out of range");
    basis_[row] = col;
}

std::optional<std::size_t> Tableau::basis(std::size_t row) const {
    check_invariant(row <= num_constraints_, "basis index out of range");
    return basis_[row];
}

// "Keep the first candidate, replace it only by a strictly greater one" in ascending column
// order picks the lowest column among the greatest entries, whatever order the list has.
std::optional<std::size_t> Tableau::entering_column(std::span<const std::uint8_t> excluded) const {
    std::optional<std::size_t> best;
    Rational best_value;
    const std::uint32_t* cols = &listed_cols_[0];
    for (std::uint32_t k = 0; k < list_len_[0]; ++k) {
        const std::size_t col = cols[k];
        const Rational value = cells_[col];
        if (col == rhs_col() || !value.is_positive() || !admissible(excluded, col)) continue;
        if (!best || value > best_value || (value == best_value && col < *best)) {
            best = col;
            best_value = value;
        }
    }
    return best;
}

std::optional<std::size_t> Tableau::entering_column_bland(
    std::span<const std::uint8_t> excluded) const {
    std::optional<std::size_t> best;
    const std::uint32_t* cols = &listed_cols_[0];
    for (std::uint32_t k = 0; k < list_len_[0]; ++k) {
        const std::size_t col = cols[k];
        if (col == rhs_col() || !cells_[col].is_positive() || !admissible(excluded, col)) continue;
        if (!best || col < *best) best = col;
    }
    return best;
}

std::optional<LeavingRow> Tableau::leaving_row(std::size_t col) const {
    check_invariant(col + 1 < num_cols_, "entering column out of range");
    std::optional<std::size_t> best;
    Rational best_ratio;
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        const Rational entry = cells_[index(row, col)];
        if (!entry.is_positive()) continue;
        const Rational ratio = cells_[index(row, rhs_col())] / entry;
        if (!best || ratio < best_ratio) {
            best = row;
            best_ratio = ratio;
        }
    }
    if (!best || !basis_[*best]) return std::nullopt;
    return LeavingRow{*best, *basis_[*best]};
}

std::optional<LeavingRow> Tableau::leaving_row_bland(std::size_t col) const {
    check_invariant(col + 1 < num_cols_, "entering column out of range");
    // A row without a basic column loses every tie (and yields none when it wins).
    const auto basic_rank = [&](std::size_t row) {
        return basis_[row] ? *basis_[row] : std::numeric_limits<std::size_t>::max();
    };
    std::optional<std::size_t> best;
    Rational best_ratio;
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        const Rational entry = cells_[index(row, col)];
        if (!entry.is_positive()) continue;
        const Rational ratio = cells_[index(row, rhs_col())] / entry;
        if (!best || ratio < best_ratio ||
            (ratio == best_ratio && basic_rank(row) < basic_rank(*best))) {
            best = row;
            best_ratio = ratio;
        }
    }
    if (!best || !basis_[*best]) return std::nullopt;
    return LeavingRow{*best, *basis_[*best]};
}

void Tableau::pivot(std::size_t row, std::size_t col) {
    check_invariant(row >= 1 && row <= num_constraints_ && col + 1 < num_cols_,
                    "pivot index out of range");
    const Rational p = cells_[index(row, col)];
    check_invariant(!p.is_zero(), "pivot value is zero");

    // Divide the pivot row and collect its non-zero columns.
    compact_row(row);
    const std::uint32_t* row_cols = &listed_cols_[row * num_cols_];
    const std::uint32_t width = list_len_[row];
    Rational* pivot_row = &cells_[index(row, 0)];
    for (std::uint32_t k = 0; k < width; ++k) {
        pivot_row[row_cols[k]] = pivot_row[row_cols[k]] / p;
        pivot_cols_[k] = row_cols[k];
    }

    // Eliminate the column from every other row, row 0 included.
    for (std::size_t other = 0; other <= num_constraints_; ++other) {
        if (other == row) continue;
        const Rational f = cells_[index(other, col)];
        if (f.is_zero()) continue;
        for (std::uint32_t k = 0; k < width; ++k) {
            const std::size_t j = pivot_cols_[k];
            const Rational product = f * pivot_row[j];
            store(other, j, cells_[index(other, j)] - product);
        }
    }
    basis_[row] = col;
}

std::optional<Rational> Tableau::basic_value(std::size_t col) const {
    for (std::size_t row = 1; row <= num_constraints_; ++row)
        if (basis_[row] == col) return cells_[index(row, rhs_col())];
    return std::nullopt;
}

void Tableau::clear_objective_row() {
    for (std::uint32_t k = 0; k < list_len_[0]; ++k) cells_[listed_cols_[k]] = Rational();
    compact_row(0);
}

void Tableau::subtract_from_objective(Rational factor, std::size_t row) {
    check_invariant(row >= 1 && row <= num_constraints_, "row index out of range");
    const std::uint32_t* cols = &listed_cols_[row * num_cols_];
    for (std::uint32_t k = 0; k < list_len_[row]; ++k) {
        const std::size_t j = cols[k];
        const Rational entry = cells_[index(row, j)];
        if (entry.is_zero()) continue;
        const Rational product = factor * entry;
        store(0, j, cells_[j] - product);
    }
}

void Tableau::save_objective_row() {
    compact_row(0);
    for (std::uint32_t k = 0; k < list_len_[0]; ++k) {
        saved_cols_[k] = listed_cols_[k];
        saved_values_[k] = cells_[listed_cols_[k]];
    }
    saved_len_ = list_len_[0];
}

void Tableau::restore_objective_row() {
    clear_objective_row();
    for (std::uint32_t k = 0; k < saved_len_; ++k) store(0, saved_cols_[k], saved_values_[k]);
}

std::optional<std::size_t> Tableau::lowest_nonzero_column(
    std::size_t row, std::span<const std::uint8_t> excluded) const {
    std::optional<std::size_t> best;
    const std::uint32_t* cols = &listed_cols_[row * num_cols_];
    for (std::uint32_t k = 0; k < list_len_[row]; ++k) {
        const std::size_t col = cols[k];
        if (col == rhs_col() || cells_[index(row, col)].is_zero() || !admissible(excluded, col))
            continue;
        if (!best || col < *best) best = col;
    }
    return best;
}

}  // namespace mekra
