// The tableau's sparse start: a large tableau keeps its constraint rows as the list of their
// non-zeros until the first pivot.
//
// A program of a few thousand rows has a dense tableau of millions of entries, nearly all
// zero; writing them cost stocfor2 (2,157 rows) more than its pivots. Until the first pivot
// every read of a constraint row is answered from the list, with the same values the dense
// block would hold. The first pivot then moves a sparse tableau whose starting basic columns
// are unit columns straight to the factored form, which reads only that list; any other
// tableau is written into the dense block and goes on as if it had started there.

#include <algorithm>

#include "core/invariant.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {

void Tableau::set_factored_form_min_rows(std::size_t rows) {
    factored_min_rows_ = rows;
    if (!rows_written_ && !pivoted_ && !integer_ && !factored_) choose_start();
}

void Tableau::choose_start() {
    sparse_start_ = num_constraints_ > 0 && num_constraints_ >= factored_min_rows_;
    reference_.clear();
    sparse_cols_valid_ = false;
    if (sparse_start_) {
        dense_rows_ = false;  // nothing was written to the block, which is all zeros
        sparse_row_first_.assign(num_constraints_, 0);
        sparse_last_row_ = 0;
        sparse_rhs_.assign(num_constraints_, Rational());
    } else if (!dense_rows_) {
        make_dense_block();
    }
}

void Tableau::sparse_store(std::size_t row, std::size_t col, Rational value) {
    if (col == rhs_col()) {
        sparse_rhs_[row - 1] = std::move(value);
        return;
    }
    const bool in_order = reference_.empty() || row > reference_.back().row ||
                          (row == reference_.back().row && col > reference_.back().col);
    if (!in_order || row < sparse_last_row_) {
        // Written out of order (never by the solver): the dense block takes the rows.
        leave_sparse_start();
        store(row, col, std::move(value));
        return;
    }
    // Rows without entries so far start where the next entry goes.
    for (std::size_t r = sparse_last_row_ + 1; r <= row; ++r)
        sparse_row_first_[r - 1] = static_cast<std::uint32_t>(reference_.size());
    sparse_last_row_ = row;
    if (value.is_zero()) return;
    reference_.push_back(
        {static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(col), std::move(value)});
    sparse_cols_valid_ = false;
}

std::pair<std::size_t, std::size_t> Tableau::sparse_row(std::size_t row) const {
    if (row > sparse_last_row_) return {reference_.size(), reference_.size()};
    const std::size_t last = row < sparse_last_row_ ? sparse_row_first_[row] : reference_.size();
    return {sparse_row_first_[row - 1], last};
}

std::size_t Tableau::sparse_row_nonzeros(std::size_t row) const {
    const auto [first, last] = sparse_row(row);
    return last - first + (sparse_rhs_[row - 1].is_zero() ? 0 : 1);
}

Rational Tableau::sparse_value(std::size_t row, std::size_t col) const {
    if (col == rhs_col()) return sparse_rhs_[row - 1];
    const auto [first, last] = sparse_row(row);
    const auto begin = reference_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = reference_.begin() + static_cast<std::ptrdiff_t>(last);
    const auto at = std::lower_bound(
        begin, end, col, [](const ReferenceEntry& entry, std::size_t c) { return entry.col < c; });
    return at != end && at->col == col ? at->value : Rational();
}

void Tableau::sparse_column(std::size_t col, std::vector<Rational>& column) const {
    if (col == rhs_col()) {
        column = sparse_rhs_;
        return;
    }
    column.assign(num_constraints_, Rational());
    if (!sparse_cols_valid_) {
        sparse_col_start_.assign(num_cols_ + 1, 0);
        for (const ReferenceEntry& entry : reference_) ++sparse_col_start_[entry.col + 1];
        for (std::size_t c = 0; c < num_cols_; ++c) sparse_col_start_[c + 1] += sparse_col_start_[c];
        sparse_col_entry_.resize(reference_.size());
        std::vector<std::uint32_t> next(sparse_col_start_.begin(), sparse_col_start_.end() - 1);
        for (std::size_t at = 0; at < reference_.size(); ++at)
            sparse_col_entry_[next[reference_[at].col]++] = static_cast<std::uint32_t>(at);
        sparse_cols_valid_ = true;
    }
    for (std::uint32_t e = sparse_col_start_[col]; e < sparse_col_start_[col + 1]; ++e) {
        const ReferenceEntry& entry = reference_[sparse_col_entry_[e]];
        column[entry.row - 1] = entry.value;
    }
}

void Tableau::make_dense_block() {
    const std::size_t size = num_constraints_ * num_cols_;
    if (cells_.size() < size) {
        // Fresh zeroed storage (the old block is all zeros and simply dropped), with room to
        // spare so that a sequence of slowly growing programs reallocates only rarely.
        cells_ = std::vector<Rational, LargeBlockAllocator<Rational>>(
            std::max(size, cells_.size() + cells_.size() / 2));
    }
    nonzero_.assign(num_constraints_ * words_per_row_, 0);
    dense_rows_ = true;
}

void Tableau::leave_sparse_start() {
    check_invariant(sparse_start_, "the tableau did not start sparse");
    sparse_start_ = false;
    make_dense_block();
    for (ReferenceEntry& entry : reference_) store(entry.row, entry.col, std::move(entry.value));
    for (std::size_t row = 1; row <= num_constraints_; ++row)
        store(row, rhs_col(), std::move(sparse_rhs_[row - 1]));
    reference_.clear();
    sparse_rhs_.clear();
    sparse_cols_valid_ = false;
}

void Tableau::end_sparse_start() {
    record_column_scales();
    const std::size_t nonzeros = record_reference();
    const bool sparse = nonzeros <= num_constraints_ * num_cols_ / 10;
    if (!sparse || !has_reference_columns()) {
        // The first pivot goes on as on a tableau that started dense.
        leave_sparse_start();
        return;
    }
    pivoted_ = true;
    convert_to_factored();
    sparse_start_ = false;
    sparse_rhs_.clear();
    sparse_cols_valid_ = false;
}

}  // namespace mekra::lp
