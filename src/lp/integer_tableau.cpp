// The integer form of Tableau: conversion, reads, the ratio test and the fraction-free pivot.

#include "lp/integer_tableau.hpp"

#include <limits>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"
#include "linear/gmp_integers.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {

IntegerForm::~IntegerForm() { linear::DigitBudget::charge(-charged); }

void IntegerForm::settle() {
    const std::int64_t bytes = delta * static_cast<std::int64_t>(sizeof(mp_limb_t));
    delta = 0;
    charged += bytes;
    linear::DigitBudget::charge(bytes);
}

namespace {

// The least common denominator of the values added.
struct CommonDenominator {
    BigInt lcm, num, den;
    CommonDenominator() { mpz_set_ui(lcm.z, 1); }
    void add(const Rational& value) {
        if (value.is_integer()) return;
        linear::numerator_denominator(value, num.z, den.z);
        mpz_lcm(lcm.z, lcm.z, den.z);
    }
};

// out := exact / divisor; an inexact division breaks the integer form's invariant.
void divide_exactly(mpz_ptr out, mpz_srcptr exact, mpz_srcptr divisor) {
    check_invariant(mpz_divisible_p(exact, divisor) != 0, "inexact division in the integer tableau");
    mpz_divexact(out, exact, divisor);
}

}  // namespace

// The integer form's denominator must be a multiple of the determinant of the current basis
// in an integer copy of the starting tableau, each row scaled by its own common denominator.
// That determinant is the product of these row scales times the product of all pivots taken.
void Tableau::record_start_scale() {
    mpz_set_ui(start_scale_.z, 1);
    CommonDenominator row0;
    for (const Rational& value : objective_) row0.add(value);
    mpz_mul(start_scale_.z, start_scale_.z, row0.lcm.z);
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        CommonDenominator scale;
        for_each_nonzero(row, [&](std::size_t col) { scale.add(cells_[index(row, col)]); });
        mpz_mul(start_scale_.z, start_scale_.z, scale.lcm.z);
    }
}

// A restored objective row replaces row 0 of that integer copy: its own row scale joins in.
void Tableau::multiply_objective_scale() {
    CommonDenominator scale;
    for (const Rational& value : saved_objective_) scale.add(value);
    mpz_mul(objective_scale_.z, objective_scale_.z, scale.lcm.z);
}

void Tableau::release_integers() { integer_.reset(); }

void Tableau::convert_to_integers() {
    auto form = std::make_unique<IntegerForm>(num_constraints_, num_cols_);
    IntegerForm& f = *form;
    // D = start scale * objective scale * |product of the pivots|, an integer.
    BigInt num, den, product_num, product_den;
    mpz_mul(product_num.z, start_scale_.z, objective_scale_.z);
    mpz_set_ui(product_den.z, 1);
    for (const Rational& p : pivot_values_seen_) {
        linear::numerator_denominator(p, num.z, den.z);
        mpz_mul(product_num.z, product_num.z, num.z);
        mpz_mul(product_den.z, product_den.z, den.z);
    }
    mpz_abs(product_num.z, product_num.z);
    divide_exactly(f.common.z, product_num.z, product_den.z);

    // Entry value * D, exact since D is a common denominator of the whole tableau.
    const auto convert = [&](const Rational& value, mpz_ptr out) {
        if (value.is_zero()) return;
        linear::numerator_denominator(value, num.z, den.z);
        divide_exactly(out, f.common.z, den.z);
        mpz_mul(out, out, num.z);
    };
    for (std::size_t col = 0; col < num_cols_; ++col) convert(objective_[col], f.objective[col].z);
    for (std::size_t row = 1; row <= num_constraints_; ++row)
        for_each_nonzero(
            row, [&](std::size_t col) { convert(cells_[index(row, col)], f.cells[index(row, col)].z); });
    for (std::size_t row = 0; row <= num_constraints_; ++row) mpz_set(f.row_den[row].z, f.common.z);

    // The Rational entries are cleared; the non-zero bits carry over.
    std::fill(objective_.begin(), objective_.end(), Rational());
    for (std::size_t row = 1; row <= num_constraints_; ++row)
        for_each_nonzero(row, [&](std::size_t col) { cells_[index(row, col)] = Rational(); });
    integer_ = std::move(form);

    for (std::size_t k = 0; k < num_constraints_ * num_cols_; ++k) f.delta += f.cells[k].z->_mp_alloc;
    for (std::size_t col = 0; col < num_cols_; ++col) f.delta += f.objective[col].z->_mp_alloc;
    for (std::size_t row = 0; row <= num_constraints_; ++row) f.delta += f.row_den[row].z->_mp_alloc;
    f.settle();
}

Rational Tableau::integer_value(std::size_t row, std::size_t col) const {
    const IntegerForm& f = *integer_;
    return linear::rational_of(row == 0 ? f.objective[col].z : f.cells[index(row, col)].z, f.row_den[row].z);
}

// Row 0 shares one positive denominator: its numerators compare as its values do.
std::optional<std::size_t> Tableau::integer_entering_column(std::span<const std::uint8_t> excluded) const {
    const BigInt* objective = integer_->objective.get();
    const BigInt* best = nullptr;
    std::size_t kept = 0;
    for (std::size_t col = 0; col + 1 < num_cols_; ++col) {
        if (mpz_sgn(objective[col].z) <= 0 || !admissible(excluded, col)) continue;
        if (best == nullptr || mpz_cmp(best->z, objective[col].z) < 0) {
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

// Within a row the denominator cancels from rhs / entry, so candidates compare by
// cross-multiplying their numerators (both pivot-column entries positive).
std::optional<LeavingRow> Tableau::integer_leaving_row(std::size_t col, bool bland) const {
    check_invariant(col + 1 < num_cols_, "entering column out of range");
    if (num_constraints_ == 0) return std::nullopt;
    IntegerForm& f = *integer_;
    const BigInt* column = &f.cells[index(1, col)];
    const BigInt* rhs = &f.cells[index(1, rhs_col())];
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
        mpz_mul(f.t1.z, rhs[k].z, column[b].z);
        mpz_mul(f.t2.z, rhs[b].z, column[k].z);
        const int order = mpz_cmp(f.t1.z, f.t2.z);
        if (order < 0 || (order == 0 && bland && basic_rank(k + 1) < basic_rank(*best))) best = k + 1;
    }
    if (!best || !basis_[*best]) return std::nullopt;
    return LeavingRow{*best, *basis_[*best]};
}

void Tableau::bring_to_common(std::size_t row) {
    IntegerForm& f = *integer_;
    mpz_ptr den = f.row_den[row].z;
    if (mpz_cmp(den, f.common.z) == 0) return;
    for_each_nonzero(row, [&](std::size_t col) {
        mpz_ptr entry = f.cells[index(row, col)].z;
        const int limbs = entry->_mp_alloc;
        mpz_mul(entry, entry, f.common.z);
        divide_exactly(entry, entry, den);
        f.account(entry, limbs);
    });
    mpz_set(den, f.common.z);
}

void Tableau::integer_pivot(std::size_t row, std::size_t col) {
    IntegerForm& f = *integer_;
    bring_to_common(row);
    mpz_ptr p = f.pivot.z;  // |pivot|, the new common denominator
    mpz_set(p, f.cells[index(row, col)].z);
    const int sign = mpz_sgn(p);
    check_invariant(sign != 0, "pivot value is zero");
    mpz_abs(p, p);

    std::uint32_t width = 0;
    for_each_nonzero(row, [&](std::size_t j) {
        pivot_cols_[width++] = static_cast<std::uint32_t>(j);
        f.in_pivot_row[j] = 1;
    });
    const auto pivot_entry = [&](std::size_t j) -> mpz_srcptr { return f.cells[index(row, j)].z; };

    // One touched row: entries in the pivot row's columns take the elimination step, the
    // others only move to the new denominator. `factor` is sgn(p) * the row's pivot-column entry.
    // Row 0's divisions are checked, a cheap sentinel for the exactness the determinant
    // argument promises for all rows.
    const auto update = [&](auto entry_at, mpz_srcptr factor, mpz_ptr den, auto on_zero_change,
                            auto for_each_other, bool checked) {
        for (std::uint32_t k = 0; k < width; ++k) {
            const std::size_t j = pivot_cols_[k];
            mpz_ptr entry = entry_at(j);
            const int limbs = entry->_mp_alloc;
            const bool was_zero = mpz_sgn(entry) == 0;
            mpz_mul(entry, entry, p);
            mpz_submul(entry, factor, pivot_entry(j));
            if (checked)
                divide_exactly(entry, entry, den);
            else
                mpz_divexact(entry, entry, den);
            f.account(entry, limbs);
            if (was_zero != (mpz_sgn(entry) == 0)) on_zero_change(j);
        }
        for_each_other([&](std::size_t j) {
            if (f.in_pivot_row[j]) return;
            mpz_ptr entry = entry_at(j);
            const int limbs = entry->_mp_alloc;
            mpz_mul(entry, entry, p);
            mpz_divexact(entry, entry, den);
            f.account(entry, limbs);
        });
        mpz_set(den, p);
    };

    std::size_t touched = 0;
    for (std::size_t k = 1; k <= num_constraints_; ++k) {
        if (k == row || mpz_sgn(f.cells[index(k, col)].z) == 0) continue;
        factor_rows_[touched] = static_cast<std::uint32_t>(k);
        mpz_set(f.factors[touched].z, f.cells[index(k, col)].z);
        if (sign < 0) mpz_neg(f.factors[touched].z, f.factors[touched].z);
        ++touched;
    }
    for (std::size_t t = 0; t < touched; ++t) {
        const std::size_t other = factor_rows_[t];
        update([&](std::size_t j) { return f.cells[index(other, j)].z; }, f.factors[t].z, f.row_den[other].z,
               [&](std::size_t j) { nonzero_word(other, j) ^= bit(j); },
               [&](auto visit) { for_each_nonzero(other, visit); }, false);
    }
    if (mpz_sgn(f.objective[col].z) != 0) {
        mpz_ptr factor = f.factors[num_constraints_].z;
        mpz_set(factor, f.objective[col].z);
        if (sign < 0) mpz_neg(factor, factor);
        update([&](std::size_t j) { return f.objective[j].z; }, factor, f.row_den[0].z, [](std::size_t) {},
               [&](auto visit) {
                   for (std::size_t j = 0; j < num_cols_; ++j)
                       if (mpz_sgn(f.objective[j].z) != 0) visit(j);
               },
               true);
    }

    // The pivot row itself: value N / p, so it keeps its integers (sign made positive).
    for (std::uint32_t k = 0; k < width; ++k) {
        const std::size_t j = pivot_cols_[k];
        if (sign < 0) mpz_neg(f.cells[index(row, j)].z, f.cells[index(row, j)].z);
        f.in_pivot_row[j] = 0;
    }
    mpz_set(f.row_den[row].z, p);
    mpz_set(f.common.z, p);
    basis_[row] = col;
    f.settle();
}

// Row 0 (over the common denominator D) minus factor times row `row` (over its own E):
// numerators N0 - factor * N * D / E, exact while pricing a basis.
void Tableau::integer_subtract_from_objective(const Rational& factor, std::size_t row) {
    IntegerForm& f = *integer_;
    BigInt num, den;
    linear::numerator_denominator(factor, num.z, den.z);
    mpz_mul(den.z, den.z, f.row_den[row].z);
    mpz_mul(num.z, num.z, f.row_den[0].z);
    for_each_nonzero(row, [&](std::size_t col) {
        mpz_mul(f.t1.z, num.z, f.cells[index(row, col)].z);
        divide_exactly(f.t1.z, f.t1.z, den.z);
        mpz_ptr entry = f.objective[col].z;
        const int limbs = entry->_mp_alloc;
        mpz_sub(entry, entry, f.t1.z);
        f.account(entry, limbs);
    });
    f.settle();
}

// The saved row replaces row 0 of the integer copy the denominator is counted in: the
// denominator takes its common denominator as a factor, and row 0 is written over it.
void Tableau::integer_restore_objective_row() {
    IntegerForm& f = *integer_;
    CommonDenominator scale;
    for (const Rational& value : saved_objective_) scale.add(value);
    mpz_mul(f.common.z, f.common.z, scale.lcm.z);
    mpz_set(f.row_den[0].z, f.common.z);
    for (std::size_t col = 0; col < num_cols_; ++col) {
        mpz_ptr entry = f.objective[col].z;
        const int limbs = entry->_mp_alloc;
        mpz_set_ui(entry, 0);
        const Rational& value = saved_objective_[col];
        if (!value.is_zero()) {
            linear::numerator_denominator(value, scale.num.z, scale.den.z);
            divide_exactly(entry, f.common.z, scale.den.z);
            mpz_mul(entry, entry, scale.num.z);
        }
        f.account(entry, limbs);
    }
    f.settle();
}

}  // namespace mekra::lp
