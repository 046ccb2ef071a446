// The tableau's factored form: the revised simplex method in exact arithmetic.
//
// When every row had a unit column basic in it before the first pivot, the constraint rows
// of the tableau are B^-1 times the starting rows, B the starting columns of the current
// basis. The factored form keeps only what the pivot rule reads at every step: row 0 (as
// integers over one denominator, column-scaled as in the integer form, so that a pivot
// updates it without a gcd per entry) and the right-hand side; any other column is
// B^-1 times its starting column and any constraint row is a row of B^-1 times the starting
// rows, computed from an exact LU factorization of B (factored_basis.hpp) when needed. A
// pivot then costs two solves with the factors, where the explicit inverse would update
// every row with a non-zero in the entering column. The values are the same exact values,
// so the pivot rule takes the same decisions.

#include <algorithm>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"
#include "linear/gmp_integers.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {

namespace {

// The most etas kept before the basis is factored afresh, whatever they cost.
constexpr std::size_t MAX_ETAS = 100;
// The basis is factored afresh once its etas have cost the solves this many times fewer
// operations than the last factorization took: an eta operation is on a value of the
// path, often wide, a factorization's mostly on the program's own small values. 4 was best
// on Netlib's programs between 1 and 16 (bnl1 4.6 s at 1, 4.0 s at 4; sctap3 1.0 s at both
// and 1.2 s at 16).
constexpr std::size_t ETA_WORK_WEIGHT = 4;

std::int64_t limbs(const std::vector<BigInt>& values) {
    std::int64_t total = 0;
    for (const BigInt& value : values) total += value.z->_mp_alloc;
    return total;
}

}  // namespace

FactoredForm::~FactoredForm() { linear::DigitBudget::charge(-charged); }

void FactoredForm::settle() {
    const std::int64_t bytes =
        (limbs(objective) + limbs(row_integer) + fixed_limbs) * static_cast<std::int64_t>(sizeof(mp_limb_t));
    const std::int64_t delta = bytes - charged;
    charged = bytes;
    linear::DigitBudget::charge(delta);
}

void Tableau::convert_to_factored() {
    if (!scales_written_) write_unit_scales();
    const std::size_t m = num_constraints_;
    auto form = std::make_unique<FactoredForm>();
    FactoredForm& f = *form;
    std::vector<std::uint32_t> by_col_entry;
    index_reference(f.by_row_start, f.by_row_col, f.by_col_start, f.by_col_row, by_col_entry,
                    f.by_row_scaled);
    f.by_col_value.resize(by_col_entry.size());
    for (std::size_t at = 0; at < by_col_entry.size(); ++at)
        f.by_col_value[at] = reference_[by_col_entry[at]].value;
    f.scale.resize(num_cols_);
    for (std::size_t col = 0; col < num_cols_; ++col) mpz_set(f.scale[col].z, column_scale_[col].z);
    f.fixed_limbs = limbs(f.by_row_scaled) + limbs(f.scale);
    f.rhs.resize(m);
    for (std::size_t row = 1; row <= m; ++row)
        f.rhs[row - 1] = sparse_start_ ? sparse_rhs_[row - 1] : cells_[index(row, rhs_col())];
    f.column.resize(m);
    f.row_multipliers.resize(m);
    f.row_integer.resize(num_cols_);
    f.in_row.assign(num_cols_, 0);
    f.basis_columns.resize(m);
    f.objective.resize(num_cols_ - 1);
    factored_ = std::move(form);
    factored_objective_from(objective_);
    refactor();
}

void Tableau::factored_objective_from(std::vector<Rational>& values) {
    FactoredForm& f = *factored_;
    const std::size_t last = num_cols_ - 1;
    BigInt num, den;
    // t(0, j) * c[j] over their least common denominator.
    mpz_set_ui(f.objective_den.z, 1);
    const auto scaled = [&](std::size_t col) {
        linear::numerator_denominator(values[col], num.z, den.z);
        mpz_mul(num.z, num.z, f.scale[col].z);
        mpz_gcd(f.t1.z, num.z, den.z);
        mpz_divexact(num.z, num.z, f.t1.z);
        mpz_divexact(den.z, den.z, f.t1.z);
    };
    for (std::size_t col = 0; col < last; ++col)
        if (!values[col].is_zero()) {
            scaled(col);
            mpz_lcm(f.objective_den.z, f.objective_den.z, den.z);
        }
    for (std::size_t col = 0; col < last; ++col) {
        mpz_set_ui(f.objective[col].z, 0);
        if (values[col].is_zero()) continue;
        scaled(col);
        mpz_divexact(f.t1.z, f.objective_den.z, den.z);
        mpz_mul(f.objective[col].z, num.z, f.t1.z);
    }
    f.objective_reduced_bits = mpz_sizeinbase(f.objective_den.z, 2);
    f.objective_rhs = values[last];
    std::fill(values.begin(), values.end(), Rational());
    f.settle();
}

void Tableau::refactor() {
    FactoredForm& f = *factored_;
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        check_invariant(basis_[row].has_value(), "factored row without a basic column");
        const std::size_t col = *basis_[row];
        std::vector<FactoredBasis::Entry>& column = f.basis_columns[row - 1];
        column.clear();
        for (std::uint32_t e = f.by_col_start[col]; e < f.by_col_start[col + 1]; ++e)
            column.push_back({f.by_col_row[e], f.by_col_value[e]});
    }
    f.basis.factor(num_constraints_, f.basis_columns);
    f.column_col = SIZE_MAX;
}

const std::vector<Rational>& Tableau::factored_column(std::size_t col) const {
    FactoredForm& f = *factored_;
    if (col == rhs_col()) return f.rhs;
    if (f.column_col == col) return f.column;
    std::fill(f.column.begin(), f.column.end(), Rational());
    for (std::uint32_t e = f.by_col_start[col]; e < f.by_col_start[col + 1]; ++e)
        f.column[f.by_col_row[e]] = f.by_col_value[e];
    f.basis.solve(f.column);
    f.column_col = col;
    return f.column;
}

void Tableau::factored_row(std::size_t row) const {
    FactoredForm& f = *factored_;
    std::vector<Rational>& y = f.row_multipliers;
    std::fill(y.begin(), y.end(), Rational());
    y[row - 1] = Rational::integer(1);
    f.basis.solve_transposed(y);
    combine_starting_rows();
}

void Tableau::combine_starting_rows() const {
    FactoredForm& f = *factored_;
    for (std::uint32_t j : f.row_cols) {
        mpz_set_ui(f.row_integer[j].z, 0);
        f.in_row[j] = 0;
    }
    f.row_cols.clear();
    const std::vector<Rational>& y = f.row_multipliers;
    // y over its least common denominator D, then sum of (y[k] * D) * R'(k, j): the row's
    // values times D * c[j], without a gcd per term.
    BigInt num, den;
    mpz_set_ui(f.row_den.z, 1);
    for (std::size_t k = 0; k < num_constraints_; ++k)
        if (!y[k].is_zero() && !y[k].is_integer()) {
            linear::numerator_denominator(y[k], num.z, den.z);
            mpz_lcm(f.row_den.z, f.row_den.z, den.z);
        }
    for (std::size_t k = 0; k < num_constraints_; ++k) {
        if (y[k].is_zero()) continue;
        linear::numerator_denominator(y[k], num.z, den.z);
        mpz_divexact(f.t1.z, f.row_den.z, den.z);
        mpz_mul(num.z, num.z, f.t1.z);
        for (std::uint32_t e = f.by_row_start[k]; e < f.by_row_start[k + 1]; ++e) {
            const std::uint32_t j = f.by_row_col[e];
            if (!f.in_row[j]) {
                f.in_row[j] = 1;
                f.row_cols.push_back(j);
            }
            mpz_addmul(f.row_integer[j].z, num.z, f.by_row_scaled[e].z);
        }
    }
}

void Tableau::factored_subtract_row(const Rational& factor, const Rational& rhs_value) {
    FactoredForm& f = *factored_;
    if (factor.is_zero()) return;
    Rational::subtract_product(f.objective_rhs, factor, rhs_value);
    // t(0, j) - (fn / fd) * R[j] / (D * c[j]) over E * M with G = gcd(E, fd * D),
    // M = fd * D / G: the integers become N[j] * M - (fn * E / G) * R[j].
    BigInt fn, fd;
    linear::numerator_denominator(factor, fn.z, fd.z);
    mpz_ptr multiplier = f.t2.z, coefficient = f.t3.z, g = f.t4.z;
    mpz_mul(multiplier, fd.z, f.row_den.z);
    mpz_gcd(g, f.objective_den.z, multiplier);
    mpz_divexact(multiplier, multiplier, g);
    mpz_divexact(coefficient, f.objective_den.z, g);
    mpz_mul(coefficient, coefficient, fn.z);
    const std::size_t last = num_cols_ - 1;
    if (mpz_cmp_ui(multiplier, 1) != 0) {
        for (std::size_t j = 0; j < last; ++j)
            if (mpz_sgn(f.objective[j].z) != 0) mpz_mul(f.objective[j].z, f.objective[j].z, multiplier);
        mpz_mul(f.objective_den.z, f.objective_den.z, multiplier);
    }
    for (std::uint32_t j : f.row_cols)
        if (j < last) mpz_submul(f.objective[j].z, coefficient, f.row_integer[j].z);
    const std::size_t bits = f.objective_reduced_bits;
    if (mpz_sizeinbase(f.objective_den.z, 2) > bits + bits / 2 + 128) {
        mpz_set(g, f.objective_den.z);
        for (std::size_t j = 0; j < last && mpz_cmp_ui(g, 1) != 0; ++j)
            if (mpz_sgn(f.objective[j].z) != 0 && mpz_divisible_p(f.objective[j].z, g) == 0)
                mpz_gcd(g, g, f.objective[j].z);
        if (mpz_cmp_ui(g, 1) != 0) {
            for (std::size_t j = 0; j < last; ++j)
                if (mpz_sgn(f.objective[j].z) != 0) mpz_divexact(f.objective[j].z, f.objective[j].z, g);
            mpz_divexact(f.objective_den.z, f.objective_den.z, g);
        }
        f.objective_reduced_bits = mpz_sizeinbase(f.objective_den.z, 2);
    }
    f.settle();
}

Rational Tableau::factored_value(std::size_t row, std::size_t col) const {
    FactoredForm& f = *factored_;
    if (row == 0) {
        if (col == rhs_col()) return f.objective_rhs;
        mpz_mul(f.t1.z, f.objective_den.z, f.scale[col].z);
        return linear::rational_of(f.objective[col].z, f.t1.z);
    }
    if (basis_[row] == col) return Rational::integer(1);  // a basic column is a unit column
    return factored_column(col)[row - 1];
}

std::optional<std::size_t> Tableau::factored_entering_column(std::span<const std::uint8_t> excluded) const {
    // The largest t(0, j) = N[j] / (E * c[j]): compare N[j] / c[j].
    FactoredForm& f = *factored_;
    std::optional<std::size_t> kept;
    for (std::size_t col = 0; col + 1 < num_cols_; ++col) {
        mpz_srcptr value = f.objective[col].z;
        if (mpz_sgn(value) <= 0 || !admissible(excluded, col)) continue;
        if (!kept || linear::compare_products(f.objective[*kept].z, f.scale[col].z, value, f.scale[*kept].z,
                                              f.t1.z, f.t2.z) < 0)
            kept = col;
    }
    return kept;
}

std::optional<std::size_t> Tableau::factored_entering_column_bland(
    std::span<const std::uint8_t> excluded) const {
    const FactoredForm& f = *factored_;
    for (std::size_t col = 0; col + 1 < num_cols_; ++col)
        if (mpz_sgn(f.objective[col].z) > 0 && admissible(excluded, col)) return col;
    return std::nullopt;
}

void Tableau::factored_pivot(std::size_t row, std::size_t col) {
    FactoredForm& f = *factored_;
    const std::vector<Rational>& alpha = factored_column(col);
    const Rational p = alpha[row - 1];
    check_invariant(!p.is_zero(), "pivot value is zero");
    factored_row(row);
    if (mpz_sgn(f.objective[col].z) != 0) factored_subtract_row(factored_value(0, col) / p, f.rhs[row - 1]);

    std::size_t touched = 0;
    for (std::size_t i = 0; i < num_constraints_; ++i) touched += alpha[i].is_zero() ? 0 : 1;
    if (!f.rhs[row - 1].is_zero()) {
        const Rational theta = f.rhs[row - 1] / p;
        for (std::size_t i = 0; i < num_constraints_; ++i)
            if (i + 1 != row && !alpha[i].is_zero()) Rational::subtract_product(f.rhs[i], alpha[i], theta);
        f.rhs[row - 1] = theta;
    }
    // The work measure counts what the integer form's pivot would update (its rows touched
    // times the stored width of the pivot row, a row of the inverse), so that the unique-vertex
    // shortcut is tried at the same point of the path in either form.
    std::size_t inverse_width = 1;
    for (const Rational& value : f.row_multipliers) inverse_width += value.is_zero() ? 0 : 1;
    integer_work_ += (touched + 1) * inverse_width;

    basis_[row] = col;
    if (f.basis.eta_count() >= MAX_ETAS || ETA_WORK_WEIGHT * f.basis.eta_work() > f.basis.factor_work()) {
        refactor();
    } else {
        f.basis.replace_column(row - 1, alpha);
        f.column_col = SIZE_MAX;
    }
}

void Tableau::factored_subtract_from_objective(const Rational& factor, std::size_t row) {
    factored_row(row);
    factored_subtract_row(factor, factored_->rhs[row - 1]);
}

void Tableau::factored_price_basic_columns() {
    FactoredForm& f = *factored_;
    // Every basic entry is 1, so row 0 loses the sum over rows of its basic entry times the
    // row: c_B^T B^-1 times the starting rows, one transposed solve.
    std::vector<Rational>& y = f.row_multipliers;
    bool any = false;
    Rational rhs_value;
    for (std::size_t row = 1; row <= num_constraints_; ++row) {
        y[row - 1] = factored_value(0, *basis_[row]);
        if (y[row - 1].is_zero()) continue;
        any = true;
        rhs_value = rhs_value + y[row - 1] * f.rhs[row - 1];
    }
    if (!any) return;
    f.basis.solve_transposed(y);
    combine_starting_rows();
    factored_subtract_row(Rational::integer(1), rhs_value);
}

std::optional<std::size_t> Tableau::factored_lowest_nonzero_column(
    std::size_t row, std::span<const std::uint8_t> excluded) const {
    const FactoredForm& f = *factored_;
    factored_row(row);
    std::optional<std::size_t> lowest;
    for (std::uint32_t j : f.row_cols)
        if (j != rhs_col() && mpz_sgn(f.row_integer[j].z) != 0 && admissible(excluded, j) &&
            (!lowest || j < *lowest))
            lowest = j;
    return lowest;
}

}  // namespace mekra::lp
