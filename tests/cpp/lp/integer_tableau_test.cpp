// The integer and factored forms of the tableau against the literal Rational simplex: programs
// whose values are wide from the start or become wide during the solve take the same pivots to
// the same answers.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <tuple>

#include "linear/digit_budget.hpp"
#include "lp/literal_simplex.hpp"
#include "lp/programs.hpp"
#include "lp/solver.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {
namespace {

using testing::q;

enum class Family {
    ManyDigits,  // coefficients of 20 to 40 digits, wide before the first pivot
    GrowsWide,   // 9-digit coefficients: inline at first, wide after a few pivots
    Fractions,   // small fractions with unlike denominators over many pivots
    Degenerate,  // zero right-hand sides, wide coefficients: Bland's rule in the integer form
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    Rational digits(int count) {
        std::string text = uniform(0, 1) ? "-" : "";
        text += static_cast<char>('1' + uniform(0, 8));
        for (int i = 1; i < count; ++i) text += static_cast<char>('0' + uniform(0, 9));
        if (uniform(0, 2) == 0) text += "/" + std::to_string(uniform(1, 999));
        return Rational::parse(text);
    }

    Rational coefficient(Family family) {
        if (uniform(0, 3) == 0) return q(0);
        switch (family) {
            case Family::ManyDigits:
                return uniform(0, 1) ? digits(uniform(20, 40)) : q(uniform(-9, 9));
            case Family::GrowsWide:
                return q(uniform(-999999999, 999999999), uniform(0, 2) ? 1 : uniform(1, 99999));
            case Family::Fractions:
                return q(uniform(-30, 30), uniform(1, 37));
            case Family::Degenerate:
                return uniform(0, 1) ? digits(uniform(15, 25)) : q(uniform(-3, 3));
        }
        return q(0);
    }

    LinearProgram program(Family family) {
        const std::size_t n = uniform(2, 9), m = uniform(2, 9);
        LinearProgram p = testing::program_with_vars(n);
        for (std::size_t i = 0; i < m; ++i) {
            LinearExpr e;
            for (VarId v = 0; v < n; ++v)
                e = LinearExpr::add(std::move(e), LinearExpr::term(coefficient(family), v));
            const Rational rhs = family == Family::Degenerate && uniform(0, 1) ? q(0) : coefficient(family);
            const Relation rel = static_cast<Relation>(uniform(0, 5) % 3);
            testing::add_row(p, std::move(e), rel, rhs);
        }
        LinearExpr objective;
        for (VarId v = 0; v < n; ++v)
            objective = LinearExpr::add(std::move(objective), LinearExpr::term(coefficient(family), v));
        testing::set_objective(p, uniform(0, 1) ? Sense::Maximize : Sense::Minimize, std::move(objective));
        return p;
    }

private:
    std::mt19937_64 rng_;
};

class IntegerFormDifferential : public ::testing::TestWithParam<std::tuple<Family, bool>> {};

TEST_P(IntegerFormDifferential, SamePivotsAndAnswersAsTheLiteralSimplex) {
    const auto [family, factored] = GetParam();
    Generator random(1234 + static_cast<int>(family) + (factored ? 50 : 0));
    LpSolver solver;                            // reused: the integer form must not leak into the next solve
    solver.set_unique_vertex_pivots(SIZE_MAX);  // the pivot counts are the simplex path's
    if (factored) solver.set_factored_form_min_rows(0);
    int integer_solves = 0, on_demand_solves = 0, factored_solves = 0, optimal = 0;
    for (int i = 0; i < 400; ++i) {
        const LinearProgram p = random.program(family);
        testing::LiteralSimplex literal;
        const LpOutcome expected = literal.solve(p);
        solver.load(p);
        const LpOutcome actual = solver.solve();
        ASSERT_EQ(actual, expected) << "program " << i << ": " << to_text(actual) << " vs "
                                    << to_text(expected);
        ASSERT_EQ(solver.labels(), literal.labels()) << "program " << i;
        ASSERT_EQ(solver.pivots(), literal.pivots()) << "program " << i;
        integer_solves += solver.used_integer_form() ? 1 : 0;
        on_demand_solves += solver.used_columns_on_demand() ? 1 : 0;
        factored_solves += solver.used_factored_form() ? 1 : 0;
        optimal += expected.kind == LpOutcome::Kind::Optimal ? 1 : 0;
    }
    RecordProperty("integer_solves", integer_solves);
    RecordProperty("factored_solves", factored_solves);
    // The solver starts from unit slack and artificial columns, so the integer form computes
    // the other columns on demand, or the factored form takes over.
    if (factored) {
        EXPECT_GE(factored_solves, 40);
        EXPECT_EQ(integer_solves, 0);
    } else {
        EXPECT_GE(integer_solves, 40);
        EXPECT_EQ(on_demand_solves, integer_solves);
        EXPECT_EQ(factored_solves, 0);
    }
    EXPECT_GE(optimal, 40);
}

INSTANTIATE_TEST_SUITE_P(Families, IntegerFormDifferential,
                         ::testing::Combine(::testing::Values(Family::ManyDigits, Family::GrowsWide,
                                                              Family::Fractions, Family::Degenerate),
                                            ::testing::Bool()));

// Tableau pivots against a literal Gauss-Jordan on a dense Rational matrix, every entry
// compared after each step, with and without unit reference columns (the integer form then
// computes the other columns on demand, or stores them all), with every pivot's rows shared
// with a helper thread, and with small values moved to the integer form at the first pivot.
struct PivotWalkCase {
    Family family;
    bool unit_reference;
    bool shared_rows = false;
    bool early_conversion = false;
    bool factored = false;
};

class IntegerFormPivotWalk : public ::testing::TestWithParam<PivotWalkCase> {};

TEST_P(IntegerFormPivotWalk, EveryEntryMatchesLiteralGaussJordan) {
    const auto [family, unit_reference, shared_rows, early_conversion, factored] = GetParam();
    Generator random(77 + static_cast<int>(family) * 2 + (unit_reference ? 1 : 0) + (shared_rows ? 100 : 0) +
                     (factored ? 200 : 0));
    int integer_walks = 0, on_demand_walks = 0, factored_walks = 0;
    for (int walk = 0; walk < 150; ++walk) {
        const std::size_t m = random.uniform(1, 6), structural = random.uniform(1, 7);
        const std::size_t cols = structural + m + 1, rhs = cols - 1;
        std::vector<std::vector<Rational>> literal(m + 1, std::vector<Rational>(cols));
        for (std::size_t i = 0; i <= m; ++i) {
            for (std::size_t j = 0; j < structural; ++j) literal[i][j] = random.coefficient(family);
            literal[i][rhs] = random.coefficient(family);
        }
        for (std::size_t i = 1; i <= m; ++i) literal[i][structural + i - 1] = q(1);
        if (!unit_reference) literal[random.uniform(1, static_cast<int>(m))][structural] = q(2);
        Tableau t(cols - 1, m);
        if (shared_rows) t.set_parallel_pivot_work(0);
        if (early_conversion) t.set_early_conversion(0, true);
        if (factored) t.set_factored_form_min_rows(0);
        for (std::size_t i = 0; i <= m; ++i)
            for (std::size_t j = 0; j < cols; ++j)
                if (!literal[i][j].is_zero()) t.set(i, j, literal[i][j]);
        for (std::size_t i = 1; i <= m; ++i) t.set_basis(i, structural + i - 1);
        std::vector<std::optional<std::size_t>> basis(m + 1);
        for (std::size_t i = 1; i <= m; ++i) basis[i] = structural + i - 1;

        for (int step = 0; step < 12; ++step) {
            // The literal minimum-ratio test on a random column, ties to the lowest row.
            const std::size_t probe = random.uniform(0, static_cast<int>(cols) - 2);
            std::optional<std::size_t> best;
            for (std::size_t i = 1; i <= m; ++i) {
                if (!literal[i][probe].is_positive()) continue;
                if (!best ||
                    literal[i][rhs] / literal[i][probe] < literal[*best][rhs] / literal[*best][probe])
                    best = i;
            }
            const std::optional<LeavingRow> leaving = t.leaving_row(probe);
            ASSERT_EQ(leaving ? std::optional<std::size_t>(leaving->row) : std::nullopt, best)
                << "walk " << walk << " step " << step;

            const std::size_t row = random.uniform(1, static_cast<int>(m));
            std::optional<std::size_t> lowest;
            for (std::size_t j = 0; j < rhs && !lowest; ++j)
                if (!literal[row][j].is_zero()) lowest = j;
            ASSERT_EQ(t.lowest_nonzero_column(row, {}), lowest) << "walk " << walk << " step " << step;
            if (!lowest) continue;
            std::size_t col = *lowest;
            for (int tries = 0; tries < 4; ++tries) {
                const std::size_t pick = random.uniform(0, static_cast<int>(rhs) - 1);
                if (!literal[row][pick].is_zero()) col = pick;
            }
            t.pivot(row, col);
            const Rational p = literal[row][col];
            for (Rational& entry : literal[row]) entry = entry / p;
            for (std::size_t i = 0; i <= m; ++i) {
                if (i == row || literal[i][col].is_zero()) continue;
                const Rational f = literal[i][col];
                for (std::size_t j = 0; j < cols; ++j) literal[i][j] = literal[i][j] - f * literal[row][j];
            }
            basis[row] = col;
            for (std::size_t i = 0; i <= m; ++i)
                for (std::size_t j = 0; j < cols; ++j)
                    ASSERT_EQ(t.get(i, j), literal[i][j])
                        << "walk " << walk << " step " << step << " entry " << i << "," << j;
            // Row 0 and one row's worth of the two-phase maintenance, read back entry by entry.
            if (step % 4 == 3) {
                const std::size_t other = random.uniform(1, static_cast<int>(m));
                const Rational factor = random.coefficient(family);
                t.subtract_from_objective(factor, other);
                for (std::size_t j = 0; j < cols; ++j)
                    literal[0][j] = literal[0][j] - factor * literal[other][j];
                for (std::size_t j = 0; j < cols; ++j)
                    ASSERT_EQ(t.get(0, j), literal[0][j])
                        << "walk " << walk << " step " << step << " column " << j;
            }
        }
        integer_walks += t.integer_form() ? 1 : 0;
        on_demand_walks += t.columns_on_demand() ? 1 : 0;
        factored_walks += t.factored_form() ? 1 : 0;
    }
    if (factored && unit_reference) {
        EXPECT_GE(factored_walks, 30);
        EXPECT_EQ(integer_walks, 0);
    } else {
        EXPECT_GE(integer_walks, 30);
        EXPECT_EQ(on_demand_walks, unit_reference ? integer_walks : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, IntegerFormPivotWalk,
                         ::testing::Values(PivotWalkCase{Family::ManyDigits, true},
                                           PivotWalkCase{Family::ManyDigits, false},
                                           PivotWalkCase{Family::GrowsWide, true},
                                           PivotWalkCase{Family::GrowsWide, false},
                                           PivotWalkCase{Family::ManyDigits, true, true},
                                           PivotWalkCase{Family::GrowsWide, false, true},
                                           PivotWalkCase{Family::Fractions, true, false, true},
                                           PivotWalkCase{Family::Fractions, true, true, true},
                                           PivotWalkCase{Family::ManyDigits, true, false, false, true},
                                           PivotWalkCase{Family::GrowsWide, true, false, false, true},
                                           PivotWalkCase{Family::GrowsWide, false, false, false, true},
                                           PivotWalkCase{Family::Fractions, true, false, true, true}));

TEST(IntegerForm, ProgramsThatFitStayInline) {
    // Dense 1..9 programs (the benchmark's small family) never leave the inline arithmetic.
    Generator random(5);
    LpSolver solver;
    for (int i = 0; i < 50; ++i) {
        LinearProgram p = testing::program_with_vars(5);
        for (int r = 0; r < 5; ++r) {
            LinearExpr e;
            for (VarId v = 0; v < 5; ++v)
                e = LinearExpr::add(std::move(e), LinearExpr::term(q(random.uniform(1, 9)), v));
            testing::add_row(p, std::move(e), Relation::Le, q(random.uniform(10, 60)));
        }
        testing::set_objective(p, Sense::Maximize, testing::affine({{q(3), 0}, {q(2), 1}, {q(4), 4}}));
        solver.load(p);
        ASSERT_EQ(solver.solve().kind, LpOutcome::Kind::Optimal);
        EXPECT_FALSE(solver.used_integer_form()) << i;
    }
}

class DigitBudgetForms : public ::testing::TestWithParam<bool> {};

TEST_P(DigitBudgetForms, DigitsCountAgainstTheBudget) {
    const bool factored = GetParam();
    Generator random(9);
    LinearProgram p = testing::program_with_vars(8);
    for (int r = 0; r < 8; ++r) {
        LinearExpr e;
        for (VarId v = 0; v < 8; ++v)
            e = LinearExpr::add(std::move(e), LinearExpr::term(random.digits(400), v));
        testing::add_row(p, std::move(e), Relation::Ge, random.digits(400));
    }
    testing::set_objective(p, Sense::Minimize, testing::affine({{q(1), 0}, {q(1), 1}}));
    LpSolver solver;
    if (factored) solver.set_factored_form_min_rows(0);
    solver.load(p);
    {
        linear::DigitBudget budget(20000);
        EXPECT_THROW(solver.solve(), linear::MemoryBudgetExceeded);
    }
    // A failed solve leaves nothing behind that the next one would see.
    linear::DigitBudget budget(linear::DigitBudget::CALL_LIMIT);
    testing::LiteralSimplex literal;
    EXPECT_EQ(solver.solve(), literal.solve(p));
    EXPECT_EQ(solver.used_factored_form(), factored);
}

INSTANTIATE_TEST_SUITE_P(IntegerOrFactored, DigitBudgetForms, ::testing::Bool());

}  // namespace
}  // namespace mekra::lp
