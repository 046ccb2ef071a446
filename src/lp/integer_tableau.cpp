// The integer form of Tableau: conversion, reads, the ratio test and the fraction-free pivot.

#include "lp/integer_tableau.hpp"

#include <atomic>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"
#include "linear/gmp_integers.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {

IntegerForm::~IntegerForm() { linear::DigitBudget::charge(-charged); }

void IntegerForm::settle() {
    for (RowScratch& scratch : rows) {
        delta += scratch.delta;
        scratch.delta = 0;
    }
    const std::int64_t bytes = delta * static_cast<std::int64_t>(sizeof(mp_limb_t));
    delta = 0;
    charged += bytes;
    linear::DigitBudget::charge(bytes);
}

namespace {

// out := exact / divisor; an inexact division breaks the integer form's invariant.
void divide_exactly(mpz_ptr out, mpz_srcptr exact, mpz_srcptr divisor) {
    check_invariant(mpz_divisible_p(exact, divisor) != 0, "inexact division in the integer tableau");
    mpz_divexact(out, exact, divisor);
}

}  // namespace

namespace {

const BigInt& one() {
    static const BigInt value = [] {
        BigInt v;
        mpz_set_ui(v.z, 1);
        return v;
    }();
    return value;
}

}  // namespace

std::size_t Tableau::default_parallel_pivot_work() {
    // Waking the helper and waiting for it costs some microseconds, and the rows of a small
    // pivot are cheap: below a few thousand entries the calling thread is as fast alone.
    static const std::size_t work = std::thread::hardware_concurrency() >= 2
                                        ? std::size_t{2048}
                                        : std::numeric_limits<std::size_t>::max();
    return work;
}

void Tableau::record_column_scales() {
    unit_scales_ = true;
    scales_written_ = false;
    // All-integer entries (the common case) leave every scale 1, written to GMP only if the
    // tableau converts; a per-solve GMP pass over every column would cost more than the pivots
    // of a small program.
    if (!fraction_seen_) return;

    write_unit_scales();
    BigInt num, den;
    const auto add = [&](std::size_t col, const Rational& value) {
        if (value.is_integer()) return;
        linear::numerator_denominator(value, num.z, den.z);
        mpz_lcm(column_scale_[col].z, column_scale_[col].z, den.z);
        unit_scales_ = false;
    };
    for (std::size_t col = 0; col < num_cols_; ++col) add(col, objective_[col]);
    if (saved_valid_)
        for (std::size_t col = 0; col < num_cols_ && col < saved_objective_.size(); ++col)
            add(col, saved_objective_[col]);
    if (sparse_start_) {
        for (const ReferenceEntry& entry : reference_) add(entry.col, entry.value);
        for (const Rational& value : sparse_rhs_) add(rhs_col(), value);
        return;
    }
    for (std::size_t row = 1; row <= num_constraints_; ++row)
        for_each_nonzero(row, [&](std::size_t col) { add(col, cells_[index(row, col)]); });
}

std::size_t Tableau::record_reference() {
    // Every starting entry is kept, and whether the basic columns qualify as reference
    // columns is decided only if the tableau converts: most solves never do.
    reference_col_.clear();
    if (sparse_start_) {
        // The entries are already there, in row order.
        std::size_t count = reference_.size();
        for (std::size_t row = 1; row <= num_constraints_; ++row) {
            reference_col_.push_back(basis_[row] ? static_cast<std::uint32_t>(*basis_[row])
                                                 : IntegerForm::NONE);
            count += sparse_rhs_[row - 1].is_zero() ? 0 : 1;
        }
        return count;
    }
    reference_.clear();
    std::size_t count = 0;
    for (std::size_t w = 0; w < num_constraints_ * words_per_row_; ++w)
        count += static_cast<std::size_t>(__builtin_popcountll(nonzero_[w]));
    reference_.reserve(count);
    reference_col_.reserve(num_constraints_);
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        reference_col_.push_back(basis_[row] ? static_cast<std::uint32_t>(*basis_[row]) : IntegerForm::NONE);
        for_each_nonzero(row, [&](std::size_t col) {
            if (col != rhs_col())
                reference_.push_back({static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(col),
                                      cells_[index(row, col)]});
        });
    }
    return count;
}

bool Tableau::has_reference_columns() const {
    // A reference column is the only non-zero of its column in the starting constraint rows, a
    // 1 in the row it is basic in, with scale 1; distinct rows then have distinct ones.
    const std::size_t m = num_constraints_;
    if (m == 0) return false;
    std::vector<std::uint32_t> count(num_cols_, 0);
    std::vector<std::uint8_t> unit_in_its_row(num_cols_, 0);
    for (const ReferenceEntry& entry : reference_) {
        ++count[entry.col];
        if (reference_col_[entry.row - 1] == entry.col && entry.value == Rational::integer(1))
            unit_in_its_row[entry.col] = 1;
    }
    for (std::uint32_t col : reference_col_) {
        if (col == IntegerForm::NONE || count[col] != 1 || !unit_in_its_row[col]) return false;
        if (!unit_scales_ && mpz_cmp_ui(column_scale_[col].z, 1) != 0) return false;
    }
    return true;
}

void Tableau::write_unit_scales() {
    if (column_scale_.size() < num_cols_) column_scale_.resize(num_cols_);
    for (std::size_t col = 0; col < num_cols_; ++col) mpz_set_ui(column_scale_[col].z, 1);
    scales_written_ = true;
}

mpz_srcptr Tableau::row_scale(std::size_t row) const {
    if (row == 0 || !basis_[row]) return one().z;
    return column_scale_[*basis_[row]].z;
}

void Tableau::release_integers() { integer_.reset(); }

mpz_ptr Tableau::stored_cell(std::size_t row, std::size_t col) const {
    IntegerForm& f = *integer_;
    return f.cells[(row - 1) * f.stored + f.slot[col]].z;
}

void Tableau::index_reference(std::vector<std::uint32_t>& by_row_start,
                              std::vector<std::uint32_t>& by_row_col,
                              std::vector<std::uint32_t>& by_col_start,
                              std::vector<std::uint32_t>& by_col_row,
                              std::vector<std::uint32_t>& by_col_entry,
                              std::vector<BigInt>& by_row_scaled) const {
    const std::size_t m = num_constraints_, count = reference_.size();
    by_row_start.assign(m + 1, 0);
    by_col_start.assign(num_cols_ + 1, 0);
    by_row_col.resize(count);
    by_row_scaled.resize(count);
    by_col_row.resize(count);
    by_col_entry.resize(count);
    BigInt num, den;
    for (std::size_t e = 0; e < count; ++e) {
        const ReferenceEntry& entry = reference_[e];
        ++by_row_start[entry.row];
        ++by_col_start[entry.col + 1];
        by_row_col[e] = entry.col;
        linear::numerator_denominator(entry.value, num.z, den.z);
        mpz_mul(num.z, num.z, column_scale_[entry.col].z);
        divide_exactly(by_row_scaled[e].z, num.z, den.z);
    }
    for (std::size_t k = 0; k < m; ++k) by_row_start[k + 1] += by_row_start[k];
    for (std::size_t col = 0; col < num_cols_; ++col) by_col_start[col + 1] += by_col_start[col];
    std::vector<std::uint32_t> next(by_col_start.begin(), by_col_start.end() - 1);
    for (std::size_t e = 0; e < count; ++e) {  // rows ascend, so each column's rows do too
        const std::uint32_t at = next[reference_[e].col]++;
        by_col_row[at] = reference_[e].row - 1;
        by_col_entry[at] = static_cast<std::uint32_t>(e);
    }
}

void Tableau::convert_to_integers() {
    if (!scales_written_) write_unit_scales();
    const std::size_t m = num_constraints_;
    const bool on_demand = has_reference_columns();
    auto form = std::make_unique<IntegerForm>(m, num_cols_, on_demand ? m + 1 : num_cols_);
    IntegerForm& f = *form;
    if (on_demand) {
        for (std::size_t k = 0; k < m; ++k) {
            f.slot[reference_col_[k]] = static_cast<std::uint32_t>(k);
            f.reference_row[reference_col_[k]] = static_cast<std::uint32_t>(k + 1);
        }
        f.slot[rhs_col()] = static_cast<std::uint32_t>(m);
        f.reference_col = reference_col_;
    } else {
        for (std::size_t col = 0; col < num_cols_; ++col) f.slot[col] = static_cast<std::uint32_t>(col);
    }

    // Each row's entries, scaled, over the least common denominator of the row.
    BigInt num, den, g;
    const auto scaled = [&](const Rational& value, std::size_t row, std::size_t col) {
        linear::numerator_denominator(value, num.z, den.z);
        mpz_mul(num.z, num.z, column_scale_[col].z);
        mpz_mul(den.z, den.z, row_scale(row));
        mpz_gcd(g.z, num.z, den.z);
        mpz_divexact(num.z, num.z, g.z);
        mpz_divexact(den.z, den.z, g.z);
    };
    const auto write = [&](mpz_srcptr row_den, mpz_ptr out) {
        mpz_divexact(g.z, row_den, den.z);
        mpz_mul(out, num.z, g.z);
    };
    mpz_set_ui(f.row_den[0].z, 1);
    for (std::size_t col = 0; col < num_cols_; ++col)
        if (!objective_[col].is_zero()) {
            scaled(objective_[col], 0, col);
            mpz_lcm(f.row_den[0].z, f.row_den[0].z, den.z);
        }
    for (std::size_t col = 0; col < num_cols_; ++col)
        if (!objective_[col].is_zero()) {
            scaled(objective_[col], 0, col);
            write(f.row_den[0].z, f.objective[col].z);
        }
    std::fill(objective_.begin(), objective_.end(), Rational());
    integer_ = std::move(form);
    // Stored columns convert; the Rational entries are cleared, and the non-zero bits stay
    // only for the stored columns.
    for (std::size_t row = 1; row <= m; ++row) {
        mpz_ptr row_den = f.row_den[row].z;
        mpz_set_ui(row_den, 1);
        for_each_nonzero(row, [&](std::size_t col) {
            if (f.slot[col] == IntegerForm::NONE) return;
            scaled(cells_[index(row, col)], row, col);
            mpz_lcm(row_den, row_den, den.z);
        });
        for_each_nonzero(row, [&](std::size_t col) {
            Rational& entry = cells_[index(row, col)];
            if (f.slot[col] != IntegerForm::NONE) {
                scaled(entry, row, col);
                write(row_den, stored_cell(row, col));
            } else {
                nonzero_word(row, col) ^= bit(col);
            }
            entry = Rational();
        });
    }

    if (on_demand) {
        // The starting rows of the computed columns, scaled: R(k, j) * c[j] is an integer.
        std::erase_if(reference_, [&](const ReferenceEntry& entry) {
            return f.reference_row[entry.col] != IntegerForm::NONE;
        });
        std::vector<std::uint32_t> by_col_entry;
        index_reference(f.by_row_start, f.by_row_col, f.by_col_start, f.by_col_row, by_col_entry,
                        f.by_row_value);
        f.by_col_value.resize(by_col_entry.size());
        for (std::size_t at = 0; at < by_col_entry.size(); ++at)
            mpz_set(f.by_col_value[at].z, f.by_row_value[by_col_entry[at]].z);
        for (const BigInt& value : f.by_row_value) f.delta += 2 * value.z->_mp_alloc;
        f.words_per_column = (m + 63) / 64;
        f.column_nonzero.assign((m + 1) * f.words_per_column, 0);
        for (std::size_t row = 1; row <= m; ++row)
            for_each_nonzero(row, [&](std::size_t col) {
                f.column_nonzero[f.slot[col] * f.words_per_column + (row - 1) / 64] |= bit(row - 1);
            });
    }

    const std::size_t stored = on_demand ? m + 1 : num_cols_;
    for (std::size_t k = 0; k < m * stored; ++k) f.delta += f.cells[k].z->_mp_alloc;
    for (std::size_t col = 0; col < num_cols_; ++col) f.delta += f.objective[col].z->_mp_alloc;
    for (std::size_t row = 0; row <= m; ++row) {
        f.delta += f.row_den[row].z->_mp_alloc;
        f.reduced_bits[row] = mpz_sizeinbase(f.row_den[row].z, 2);
    }
    f.settle();
}

ColumnView Tableau::integer_column(std::size_t col) const {
    IntegerForm& f = *integer_;
    const std::size_t m = num_constraints_;
    if (f.slot[col] != IntegerForm::NONE) return {&f.cells[f.slot[col]], f.stored};
    BigInt* out = f.column_work.get();
    if (f.column_work_col == col) return {out, 1};
    for (std::size_t i = 0; i < m; ++i) mpz_set_ui(out[i].z, 0);
    for (std::uint32_t e = f.by_col_start[col]; e < f.by_col_start[col + 1]; ++e) {
        const std::uint32_t k = f.by_col_row[e];
        const BigInt* reference = &f.cells[k];  // slot k holds row k's reference column
        mpz_srcptr factor = f.by_col_value[e].z;
        const std::uint64_t* words = &f.column_nonzero[k * f.words_per_column];
        for (std::size_t w = 0; w < f.words_per_column; ++w)
            for (std::uint64_t bits = words[w]; bits != 0; bits &= bits - 1) {
                const std::size_t i = w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
                mpz_addmul(out[i].z, reference[i * f.stored].z, factor);
            }
    }
    f.column_work_col = static_cast<std::uint32_t>(col);
    return {out, 1};
}

void Tableau::compute_row(std::size_t row) const {
    IntegerForm& f = *integer_;
    for (std::uint32_t j : f.row_work_cols) {
        mpz_set_ui(f.row_work[j].z, 0);
        f.in_row_work[j] = 0;
    }
    f.row_work_cols.clear();
    if (f.reference_col.empty()) return;
    for_each_nonzero(row, [&](std::size_t col) {
        const std::uint32_t k = f.reference_row[col];
        if (k == IntegerForm::NONE) return;
        mpz_srcptr multiplier = stored_cell(row, col);
        for (std::uint32_t e = f.by_row_start[k - 1]; e < f.by_row_start[k]; ++e) {
            const std::uint32_t j = f.by_row_col[e];
            if (!f.in_row_work[j]) {
                f.in_row_work[j] = 1;
                f.row_work_cols.push_back(j);
            }
            mpz_addmul(f.row_work[j].z, multiplier, f.by_row_value[e].z);
        }
    });
}

template <class Visit>
void Tableau::for_each_row_entry(std::size_t row, Visit visit) const {
    for_each_nonzero(row, [&](std::size_t col) { visit(col, stored_cell(row, col)); });
    IntegerForm& f = *integer_;
    for (std::uint32_t j : f.row_work_cols)
        if (mpz_sgn(f.row_work[j].z) != 0) visit(std::size_t{j}, static_cast<mpz_ptr>(f.row_work[j].z));
}

Rational Tableau::integer_value(std::size_t row, std::size_t col) const {
    const IntegerForm& f = *integer_;
    BigInt computed;
    mpz_srcptr entry = computed.z;
    if (row == 0) {
        entry = f.objective[col].z;
    } else if (f.slot[col] != IntegerForm::NONE) {
        entry = stored_cell(row, col);
    } else {
        for (std::uint32_t e = f.by_col_start[col]; e < f.by_col_start[col + 1]; ++e)
            mpz_addmul(computed.z, f.cells[(row - 1) * f.stored + f.by_col_row[e]].z, f.by_col_value[e].z);
    }
    if (unit_scales_) return linear::rational_of(entry, f.row_den[row].z);
    BigInt num, den;
    mpz_mul(num.z, entry, row_scale(row));
    mpz_mul(den.z, f.row_den[row].z, column_scale_[col].z);
    return linear::rational_of(num.z, den.z);
}

// Denominators and column scales are positive: an entry has the sign of its integer.
int Tableau::integer_sign(std::size_t row, std::size_t col) const {
    const IntegerForm& f = *integer_;
    if (row == 0) return mpz_sgn(f.objective[col].z);
    if (f.slot[col] != IntegerForm::NONE) return mpz_sgn(stored_cell(row, col));
    return mpz_sgn(integer_column(col)[row - 1].z);
}

void Tableau::integer_column_signs(std::size_t col, std::vector<std::int8_t>& signs) const {
    const ColumnView column = integer_column(col);
    for (std::size_t i = 0; i < num_constraints_; ++i)
        signs[i] = static_cast<std::int8_t>(mpz_sgn(column[i].z));
}

// Row 0 shares one positive denominator: value order is the order of N[0][j] / c[j].
std::optional<std::size_t> Tableau::integer_entering_column(std::span<const std::uint8_t> excluded) const {
    IntegerForm& f = *integer_;
    const BigInt* objective = f.objective.get();
    const BigInt* best = nullptr;
    std::size_t kept = 0;
    const auto less = [&](std::size_t a, std::size_t b) {
        if (unit_scales_) return mpz_cmp(objective[a].z, objective[b].z) < 0;
        return linear::compare_products(objective[a].z, column_scale_[b].z, objective[b].z,
                                        column_scale_[a].z, f.t1.z, f.t2.z) < 0;
    };
    for (std::size_t col = 0; col + 1 < num_cols_; ++col) {
        if (mpz_sgn(objective[col].z) <= 0 || !admissible(excluded, col)) continue;
        if (best == nullptr || less(kept, col)) {
            best = &objective[col];
            kept = col;
        }
    }
    if (best == nullptr) return std::nullopt;
    return kept;
}

std::optional<std::size_t> Tableau::integer_entering_column_bland(
    std::span<const std::uint8_t> excluded) const {
    for (std::size_t col = 0; col + 1 < num_cols_; ++col)
        if (mpz_sgn(integer_->objective[col].z) > 0 && admissible(excluded, col)) return col;
    return std::nullopt;
}

// Within a row the denominator and the row's scale cancel from rhs / entry, and the column
// scales give every ratio the same positive factor, so candidates compare by cross-multiplying
// their numerators (both pivot-column entries positive).
std::optional<LeavingRow> Tableau::integer_leaving_row(std::size_t col, bool bland) const {
    check_invariant(col + 1 < num_cols_, "entering column out of range");
    if (num_constraints_ == 0) return std::nullopt;
    IntegerForm& f = *integer_;
    const ColumnView column = integer_column(col);
    const ColumnView rhs{&f.cells[f.slot[rhs_col()]], f.stored};
    const auto basic_rank = [&](std::size_t row) {
        return basis_[row] ? *basis_[row] : std::numeric_limits<std::size_t>::max();
    };
    std::optional<std::size_t> best;
    for (std::size_t k = 0; k < num_constraints_; ++k) {
        if (mpz_sgn(column[k].z) <= 0) continue;
        if (!best) {
            best = k + 1;
            continue;
        }
        const std::size_t b = *best - 1;
        const int order =
            linear::compare_products(rhs[k].z, column[b].z, rhs[b].z, column[k].z, f.t1.z, f.t2.z);
        if (order < 0 || (order == 0 && bland && basic_rank(k + 1) < basic_rank(*best))) best = k + 1;
    }
    if (!best || !basis_[*best]) return std::nullopt;
    return LeavingRow{*best, *basis_[*best]};
}

template <class Visit>
void Tableau::for_each_stored_integer(std::size_t row, Visit visit) const {
    IntegerForm& f = *integer_;
    if (row == 0) {
        for (std::size_t j = 0; j < num_cols_; ++j)
            if (mpz_sgn(f.objective[j].z) != 0) visit(j, static_cast<mpz_ptr>(f.objective[j].z));
    } else {
        for_each_nonzero(row, [&](std::size_t col) { visit(col, stored_cell(row, col)); });
    }
}

void Tableau::reduce_row(std::size_t row, RowScratch& scratch) {
    IntegerForm& f = *integer_;
    mpz_ptr den = f.row_den[row].z;
    mpz_ptr g = scratch.gcd.z;
    mpz_set(g, den);
    // Once the gcd has settled on the row's common factor, most entries are multiples of it:
    // a divisibility test costs far less than a gcd.
    for_each_stored_integer(row, [&](std::size_t, mpz_srcptr entry) {
        if (mpz_cmp_ui(g, 1) != 0 && mpz_divisible_p(entry, g) == 0) mpz_gcd(g, g, entry);
    });
    if (mpz_cmp_ui(g, 1) != 0) {
        for_each_stored_integer(row, [&](std::size_t, mpz_ptr entry) {
            const int limbs = entry->_mp_alloc;
            mpz_divexact(entry, entry, g);
            scratch.account(entry, limbs);
        });
        mpz_divexact(den, den, g);
    }
    f.reduced_bits[row] = mpz_sizeinbase(den, 2);
}

void Tableau::integer_pivot(std::size_t row, std::size_t col) {
    IntegerForm& f = *integer_;
    const ColumnView column = integer_column(col);
    mpz_ptr p = f.pivot.z;  // |P|
    mpz_set(p, column[row - 1].z);
    const int sign = mpz_sgn(p);
    check_invariant(sign != 0, "pivot value is zero");
    mpz_abs(p, p);

    // The other rows' pivot-column entries, read before anything changes; `factor` is
    // sgn(P) * the entry.
    std::size_t touched = 0;
    for (std::size_t k = 1; k <= num_constraints_; ++k) {
        if (k == row || mpz_sgn(column[k - 1].z) == 0) continue;
        factor_rows_[touched] = static_cast<std::uint32_t>(k);
        mpz_set(f.factors[touched].z, column[k - 1].z);
        if (sign < 0) mpz_neg(f.factors[touched].z, f.factors[touched].z);
        ++touched;
    }

    // The pivot row's non-zeros, its stored columns first, divided by their gcd with P (which
    // divides the computed ones too).
    compute_row(row);
    std::uint32_t width = 0, stored_width = 0;
    for_each_row_entry(row, [&](std::size_t j, mpz_ptr entry) {
        pivot_cols_[width] = static_cast<std::uint32_t>(j);
        f.pivot_entries[width] = entry;
        f.in_pivot_row[j] = 1;
        ++width;
        if (f.slot[j] != IntegerForm::NONE) stored_width = width;
    });
    mpz_set(f.gcd.z, p);
    for (std::uint32_t k = 0; k < stored_width && mpz_cmp_ui(f.gcd.z, 1) != 0; ++k)
        mpz_gcd(f.gcd.z, f.gcd.z, f.pivot_entries[k]);
    if (mpz_cmp_ui(f.gcd.z, 1) != 0) {
        for (std::uint32_t k = 0; k < width; ++k)
            mpz_divexact(f.pivot_entries[k], f.pivot_entries[k], f.gcd.z);
        mpz_divexact(p, p, f.gcd.z);
    }

    // One touched row: entries in the pivot row's first `count` columns become
    // N * |P| - factor * N[r], its other non-zeros N * |P|; its denominator E * |P|; then
    // the row is reduced if it is due.
    // With h = gcd(|P|, F), the row is (N * |P|/h - F/h * N[r]) / (E * |P|/h): often |P|/h is
    // 1, and the entries outside the pivot row's columns keep their integers.
    const auto update = [&](std::size_t target, auto entry_at, std::uint32_t count, mpz_srcptr factor,
                            auto on_zero_change, RowScratch& scratch) {
        mpz_ptr multiplier = scratch.multiplier.z, reduced_factor = scratch.reduced_factor.z;
        mpz_ptr common = scratch.common.z;
        mpz_gcd(common, p, factor);
        mpz_divexact(multiplier, p, common);
        mpz_divexact(reduced_factor, factor, common);
        const bool unit = mpz_cmp_ui(multiplier, 1) == 0;
        // Products are formed in place: each entry keeps its own digits, allocated by whichever
        // thread last grew it, instead of trading them with a thread's scratch.
        const bool small_multiplier = mpz_fits_ulong_p(multiplier) != 0;
        const unsigned long small = small_multiplier ? mpz_get_ui(multiplier) : 0;
        const auto scale = [&](mpz_ptr entry) {
            if (small_multiplier)
                mpz_mul_ui(entry, entry, small);
            else
                mpz_mul(entry, entry, multiplier);
        };
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::size_t j = pivot_cols_[k];
            mpz_ptr entry = entry_at(j);
            const int limbs = entry->_mp_alloc;
            const bool was_zero = mpz_sgn(entry) == 0;
            if (!unit) scale(entry);
            mpz_submul(entry, reduced_factor, f.pivot_entries[k]);
            scratch.account(entry, limbs);
            if (was_zero != (mpz_sgn(entry) == 0)) on_zero_change(j);
        }
        if (!unit) {
            for_each_stored_integer(target, [&](std::size_t j, mpz_ptr entry) {
                if (f.in_pivot_row[j]) return;
                const int limbs = entry->_mp_alloc;
                scale(entry);
                scratch.account(entry, limbs);
            });
            mpz_mul(f.row_den[target].z, f.row_den[target].z, multiplier);
            const std::size_t bits = f.reduced_bits[target];
            if (mpz_sizeinbase(f.row_den[target].z, 2) > bits + bits / 2 + 128) reduce_row(target, scratch);
        }
        // With a unit multiplier the denominator stays and no factor was multiplied in; a
        // common factor the new entries may share with it is left for a later reduction.
    };
    const auto update_row = [&](std::size_t t, RowScratch& scratch) {
        const std::size_t other = factor_rows_[t];
        update(
            other, [&](std::size_t j) { return stored_cell(other, j); }, stored_width, f.factors[t].z,
            [&](std::size_t j) {
                nonzero_word(other, j) ^= bit(j);
                // Rows of the other thread share the column's words: the flip waits until
                // both are done (an atomic update here cost a tenth of the pivot's time).
                if (!f.column_nonzero.empty())
                    scratch.column_flips.push_back(
                        {f.slot[j] * f.words_per_column + (other - 1) / 64, bit(other - 1)});
            },
            scratch);
    };
    const auto update_objective = [&](RowScratch& scratch) {
        if (mpz_sgn(f.objective[col].z) == 0) return;
        mpz_ptr factor = f.factors[num_constraints_].z;
        mpz_set(factor, f.objective[col].z);
        if (sign < 0) mpz_neg(factor, factor);
        update(
            0, [&](std::size_t j) { return f.objective[j].z; }, width, factor, [](std::size_t) {}, scratch);
    };

    integer_work_ += (touched + 1) * stored_width;
    for (RowScratch& scratch : f.rows) scratch.column_flips.clear();
    if (touched < 2 || touched * stored_width < parallel_pivot_work_) {
        for (std::size_t t = 0; t < touched; ++t) update_row(t, f.rows[0]);
        update_objective(f.rows[0]);
    } else {
        // Every touched row reads only the pivot row and itself, so a helper thread shares the
        // rows, each thread taking the next row not yet taken. The values do not depend on
        // which thread computes them.
        std::atomic<std::size_t> next_row{0};
        const auto take_rows = [&](RowScratch& scratch) {
            for (std::size_t t; (t = next_row.fetch_add(1, std::memory_order_relaxed)) < touched;)
                update_row(t, scratch);
        };
        std::exception_ptr helper_failure;
        PivotHelper* helper = nullptr;
        try {
            if (!pivot_helper_) pivot_helper_ = std::make_unique<PivotHelper>();
            helper = pivot_helper_.get();
        } catch (const std::system_error&) {
            // No thread to be had: the calling thread takes every row.
        }
        {
            // The helper reads this frame: it must be done before the frame ends, thrown out of
            // or not.
            struct Finish {
                PivotHelper* helper;
                ~Finish() {
                    if (helper) helper->finish();
                }
            } finish{helper};
            if (helper)
                helper->offer([&] {
                    try {
                        take_rows(f.rows[1]);
                    } catch (...) {
                        helper_failure = std::current_exception();
                    }
                });
            update_objective(f.rows[0]);
            take_rows(f.rows[0]);
        }
        if (helper_failure) std::rethrow_exception(helper_failure);
    }

    for (RowScratch& scratch : f.rows)
        for (const auto& [word, bits] : scratch.column_flips) f.column_nonzero[word] ^= bits;

    // The pivot row itself: N[r] / |P| (signs flipped with P's), already reduced.
    for (std::uint32_t k = 0; k < width; ++k) {
        const std::size_t j = pivot_cols_[k];
        if (sign < 0 && k < stored_width) mpz_neg(stored_cell(row, j), stored_cell(row, j));
        f.in_pivot_row[j] = 0;
    }
    mpz_set(f.row_den[row].z, p);
    f.reduced_bits[row] = mpz_sizeinbase(p, 2);
    basis_[row] = col;
    f.column_work_col = IntegerForm::NONE;
    f.settle();
}

// Row 0 minus factor times row `row` in real values, in the scaled copy: with factor = fn / fd,
// N[0] / E[0] - fn * c[basic column of row] * N[row] / (fd * E[row]) over the denominator
// E[0] * fd * E[row], then reduced.
void Tableau::integer_subtract_from_objective(const Rational& factor, std::size_t row) {
    IntegerForm& f = *integer_;
    BigInt num, den;
    linear::numerator_denominator(factor, num.z, den.z);
    mpz_mul(den.z, den.z, f.row_den[row].z);  // a = fd * E[row]
    mpz_mul(num.z, num.z, f.row_den[0].z);
    mpz_mul(num.z, num.z, row_scale(row));  // b = fn * E[0] * c
    for (std::size_t col = 0; col < num_cols_; ++col) {
        mpz_ptr entry = f.objective[col].z;
        if (mpz_sgn(entry) == 0) continue;
        const int limbs = entry->_mp_alloc;
        mpz_mul(f.t1.z, entry, den.z);
        mpz_swap(entry, f.t1.z);
        f.account(entry, limbs);
    }
    compute_row(row);
    for_each_row_entry(row, [&](std::size_t col, mpz_ptr value) {
        mpz_ptr entry = f.objective[col].z;
        const int limbs = entry->_mp_alloc;
        mpz_submul(entry, num.z, value);
        f.account(entry, limbs);
    });
    mpz_mul(f.row_den[0].z, f.row_den[0].z, den.z);
    reduce_row(0, f.rows[0]);
    f.settle();
}

std::optional<std::size_t> Tableau::integer_lowest_nonzero_column(
    std::size_t row, std::span<const std::uint8_t> excluded) const {
    compute_row(row);
    std::optional<std::size_t> lowest;
    for_each_row_entry(row, [&](std::size_t col, mpz_ptr) {
        if (col != rhs_col() && admissible(excluded, col) && (!lowest || col < *lowest)) lowest = col;
    });
    return lowest;
}

// The saved row replaces row 0 over the denominator 1: its denominators are among the column
// scales, as it was saved before the first pivot.
void Tableau::integer_restore_objective_row() {
    IntegerForm& f = *integer_;
    BigInt num, den;
    mpz_set_ui(f.row_den[0].z, 1);
    f.reduced_bits[0] = 1;
    for (std::size_t col = 0; col < num_cols_; ++col) {
        mpz_ptr entry = f.objective[col].z;
        const int limbs = entry->_mp_alloc;
        mpz_set_ui(entry, 0);
        const Rational& value = saved_objective_[col];
        if (!value.is_zero()) {
            linear::numerator_denominator(value, num.z, den.z);
            mpz_mul(num.z, num.z, column_scale_[col].z);
            divide_exactly(entry, num.z, den.z);
        }
        f.account(entry, limbs);
    }
    f.settle();
}

}  // namespace mekra::lp
