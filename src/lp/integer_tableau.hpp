#pragma once
// Storage of the tableau's integer form, which takes over from the Rational entries once a
// value no longer fits 64 bits (see Tableau::pivot).
//
// Row i (0..m) holds integers N[i][j] over a positive denominator E[i] of its own: entry
// (i, j) is N[i][j] / E[i]. A pivot is the fraction-free (Edmonds-Bareiss) step: with the
// pivot row brought to the common denominator D and p its pivot entry, a row touched by the
// pivot gets N' = (N * |p| - sgn(p) * f * N[r]) / E, exact, and E' = |p|, which becomes the
// new D; rows with a zero in the pivot column keep their integers and their E. The division
// is exact because D always is a multiple of the determinant of the current basis in a
// row-scaled integer copy of the starting tableau, which makes D' * (new value) an integer.
// No gcd is ever taken; values are reduced only when read out.

#include <gmp.h>

#include <cstddef>
#include <cstdint>
#include <memory>

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

struct IntegerForm {
    IntegerForm(std::size_t num_constraints, std::size_t num_cols)
        : cells(new BigInt[num_constraints * num_cols]),
          objective(new BigInt[num_cols]),
          row_den(new BigInt[num_constraints + 1]),
          factors(new BigInt[num_constraints + 1]),
          in_pivot_row(new std::uint8_t[num_cols]()) {}
    ~IntegerForm();
    IntegerForm(const IntegerForm&) = delete;
    IntegerForm& operator=(const IntegerForm&) = delete;

    // Counts the bytes of `z` changed from `limbs_before` limbs against the digit budget.
    void account(mpz_srcptr z, int limbs_before) { delta += z->_mp_alloc - limbs_before; }
    // Charges the accumulated change; throws MemoryBudgetExceeded past the budget.
    void settle();

    std::unique_ptr<BigInt[]> cells;               // rows 1..m, column-major like the Rational block
    std::unique_ptr<BigInt[]> objective;           // row 0
    std::unique_ptr<BigInt[]> row_den;             // E[0..m]
    std::unique_ptr<BigInt[]> factors;             // pivot workspace: the rows' pivot-column entries
    std::unique_ptr<std::uint8_t[]> in_pivot_row;  // pivot workspace, one flag per column
    BigInt common;                                 // D
    BigInt t1, t2, pivot, factor;                  // scratch
    std::int64_t delta = 0;                        // limbs not yet charged
    std::int64_t charged = 0;                      // bytes charged
};

}  // namespace mekra::lp
