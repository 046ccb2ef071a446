#pragma once
// An exact sparse LU factorization of a simplex basis, with the later basis changes kept as
// eta columns until the next factorization.
//
// The basis B is m columns of the starting constraint rows; its column k (a "position") is the
// column basic in constraint row k + 1. Gaussian elimination on rows, pivots chosen for
// sparsity (the column with the fewest entries, then its shortest row: exact values need no
// pivoting for size), gives M B = U, M the product of the elimination steps. A later basis
// change that puts column a in position r appends the eta column alpha = B^-1 a, so that the
// new inverse is E B^-1, with E the identity but for column r. Every value is an exact
// Rational; a value past the call's digit budget throws MemoryBudgetExceeded.
//
// B^-1 is never formed: a column of the tableau costs one solve with L, U and the etas, about
// as many operations as the factors have non-zeros, and on real programs the factors of a
// basis have far fewer non-zeros, with fewer digits each, than its explicit inverse.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "linear/rational.hpp"

namespace mekra::lp {

using linear::Rational;

class FactoredBasis {
public:
    struct Entry {
        std::uint32_t index;
        Rational value;
    };
    // The columns of B by position, each a list of (row 0..m-1, non-zero value). A singular
    // B is an invariant failure. Drops any etas.
    void factor(std::size_t m, const std::vector<std::vector<Entry>>& columns);

    // x := B^-1 x: in, a dense column indexed by row (0..m-1); out, indexed by position.
    void solve(std::vector<Rational>& x);
    // y := y^T B^-1: in, a dense row indexed by position; out, indexed by row.
    void solve_transposed(std::vector<Rational>& y);

    // The column in position r now has B^-1 column `alpha` (by position, alpha[r] non-zero).
    void replace_column(std::size_t r, const std::vector<Rational>& alpha);

    std::size_t size() const { return m_; }
    // Non-zeros of L and U (pivots included) and of the etas: the cost of one solve.
    std::size_t factor_nonzeros() const { return l_value_.size() + u_value_.size() + m_; }
    std::size_t eta_count() const { return eta_position_.size(); }
    std::size_t eta_nonzeros() const { return eta_value_.size() + eta_position_.size(); }
    // Operations of the last factorization, and those the etas have cost the solves since:
    // once the etas have cost more, a new factorization pays for itself.
    std::size_t factor_work() const { return factor_work_; }
    std::size_t eta_work() const { return eta_work_; }

private:
    std::size_t m_ = 0;
    // Step s eliminated with pivot row pivot_row_[s], pivot position pivot_position_[s] and
    // value pivot_value_[s]; L: rows l_row_ minus l_value_ times the pivot row; U: the pivot
    // row's other entries (positions u_position_). Both in ranges per step.
    std::vector<std::uint32_t> pivot_row_, pivot_position_;
    std::vector<Rational> pivot_value_;
    std::vector<std::uint32_t> l_start_, l_row_;
    std::vector<Rational> l_value_;
    std::vector<std::uint32_t> u_start_, u_position_;
    std::vector<Rational> u_value_;
    // U by positions, for the transposed solve: the earlier steps with an entry there.
    std::vector<std::uint32_t> ut_start_, ut_step_;
    std::vector<Rational> ut_value_;
    // Etas in order: position, pivot alpha[r], and the other non-zeros of alpha.
    std::vector<std::uint32_t> eta_position_;
    std::vector<Rational> eta_pivot_;
    std::vector<std::uint32_t> eta_start_{0}, eta_index_;
    std::vector<Rational> eta_value_;
    std::vector<Rational> scratch_;
    // Workspace of factor.
    std::vector<std::vector<Entry>> active_rows_;
    std::vector<std::vector<std::uint32_t>> active_rows_of_, by_count_;
    std::vector<std::uint8_t> position_done_;
    std::vector<std::uint32_t> where_;
    std::size_t factor_work_ = 0, eta_work_ = 0;
};

}  // namespace mekra::lp
