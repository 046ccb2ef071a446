// The exact LU factorization with eta updates against the matrix it factors: every solve,
// plain and transposed, multiplied back by the current basis gives its input exactly.

#include "lp/factored_basis.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "lp/programs.hpp"

namespace mekra::lp {
namespace {

using testing::q;
using Matrix = std::vector<std::vector<Rational>>;  // by columns

class RandomBasis {
public:
    explicit RandomBasis(std::uint64_t seed) : rng_(seed) {}
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    Rational value(bool wide) {
        if (wide)
            return Rational::parse(std::to_string(uniform(1, 999999999)) + "123456789012345/" +
                                   std::to_string(uniform(1, 9999)));
        return q(uniform(-9, 9) | 1, uniform(1, 7));
    }

    // A column with a few non-zeros, one of them (when `diagonal`) in row `k`.
    std::vector<Rational> column(std::size_t m, std::size_t k, bool wide) {
        std::vector<Rational> c(m);
        c[k] = value(wide);
        for (int extra = uniform(0, 3); extra > 0; --extra)
            c[uniform(0, static_cast<int>(m) - 1)] = value(wide);
        return c;
    }

private:
    std::mt19937_64 rng_;
};

std::vector<std::vector<FactoredBasis::Entry>> sparse(const Matrix& columns) {
    std::vector<std::vector<FactoredBasis::Entry>> out(columns.size());
    for (std::size_t k = 0; k < columns.size(); ++k)
        for (std::size_t i = 0; i < columns[k].size(); ++i)
            if (!columns[k][i].is_zero()) out[k].push_back({static_cast<std::uint32_t>(i), columns[k][i]});
    return out;
}

// B x, by rows.
std::vector<Rational> times(const Matrix& b, const std::vector<Rational>& x) {
    std::vector<Rational> out(b.size());
    for (std::size_t k = 0; k < b.size(); ++k)
        for (std::size_t i = 0; i < b.size(); ++i) out[i] = out[i] + b[k][i] * x[k];
    return out;
}

// y^T B, by positions.
std::vector<Rational> times_transposed(const Matrix& b, const std::vector<Rational>& y) {
    std::vector<Rational> out(b.size());
    for (std::size_t k = 0; k < b.size(); ++k)
        for (std::size_t i = 0; i < b.size(); ++i) out[k] = out[k] + y[i] * b[k][i];
    return out;
}

class FactoredBasisTest : public ::testing::TestWithParam<bool> {};

TEST_P(FactoredBasisTest, SolvesMultiplyBackToTheirInputs) {
    const bool wide = GetParam();
    RandomBasis random(wide ? 11 : 7);
    FactoredBasis factored;  // reused: a new factorization drops the old one and its etas
    for (int trial = 0; trial < 150; ++trial) {
        const std::size_t m = random.uniform(1, 12);
        // A shuffled diagonal with extra entries: non-singular as long as the extra entries
        // keep it so, which the solves then check.
        std::vector<std::size_t> rows(m);
        for (std::size_t i = 0; i < m; ++i) rows[i] = i;
        for (std::size_t i = m; i > 1; --i)
            std::swap(rows[i - 1], rows[random.uniform(0, static_cast<int>(i) - 1)]);
        Matrix b(m);
        for (std::size_t k = 0; k < m; ++k) {
            b[k] = std::vector<Rational>(m);
            b[k][rows[k]] = random.value(wide);
            // Entries only below the diagonal in the shuffled order keep B non-singular.
            for (int extra = random.uniform(0, 3); extra > 0; --extra) {
                const std::size_t after = random.uniform(static_cast<int>(k), static_cast<int>(m) - 1);
                if (after != k) b[k][rows[after]] = random.value(wide);
            }
        }
        factored.factor(m, sparse(b));
        for (int change = 0; change < 8; ++change) {
            std::vector<Rational> a(m);
            for (Rational& v : a) v = random.uniform(0, 2) == 0 ? random.value(wide) : q(0);
            std::vector<Rational> x = a;
            factored.solve(x);
            ASSERT_EQ(times(b, x), a) << "trial " << trial << " change " << change;

            std::vector<Rational> e(m);
            e[random.uniform(0, static_cast<int>(m) - 1)] = q(1);
            if (random.uniform(0, 1)) e[random.uniform(0, static_cast<int>(m) - 1)] = random.value(wide);
            std::vector<Rational> y = e;
            factored.solve_transposed(y);
            ASSERT_EQ(times_transposed(b, y), e) << "trial " << trial << " change " << change;

            // A new column in a position where its solve is non-zero, as a simplex pivot picks.
            const std::vector<Rational> column =
                random.column(m, random.uniform(0, static_cast<int>(m) - 1), wide);
            std::vector<Rational> alpha = column;
            factored.solve(alpha);
            std::size_t r = m;
            for (std::size_t i = 0; i < m; ++i)
                if (!alpha[i].is_zero() && (r == m || random.uniform(0, 1))) r = i;
            if (r == m) continue;
            factored.replace_column(r, alpha);
            b[r] = column;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Values, FactoredBasisTest, ::testing::Values(false, true));

}  // namespace
}  // namespace mekra::lp
