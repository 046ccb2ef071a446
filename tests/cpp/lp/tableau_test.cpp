#include "lp/tableau.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <vector>

#include "core/invariant.hpp"
#include "linear/digit_budget.hpp"
#include "lp/programs.hpp"

namespace mekra::lp {
namespace {

using testing::q;

// A tableau with the given rows (each of equal width, the last entry the RHS).
Tableau filled(const std::vector<std::vector<Rational>>& rows) {
    Tableau t(rows[0].size() - 1, rows.size() - 1);
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows[i].size(); ++j) t.set(i, j, rows[i][j]);
    return t;
}

const std::vector<std::uint8_t> kNone;

TEST(TableauEntering, DantzigLargestEntryLowestColumnOnTies) {
    Tableau t = filled({{q(1), q(3), q(3), q(-2), q(0)}});
    EXPECT_EQ(t.entering_column(kNone), 1u);
    const std::vector<std::uint8_t> without_1{0, 1, 0, 0};
    EXPECT_EQ(t.entering_column(without_1), 2u);
    EXPECT_EQ(t.entering_column_bland(kNone), 0u);
    const std::vector<std::uint8_t> without_0{1, 0, 0, 0};
    EXPECT_EQ(t.entering_column_bland(without_0), 1u);
}

TEST(TableauEntering, NoneWithoutPositiveEntryOrColumns) {
    EXPECT_EQ(filled({{q(0), q(-1), q(5)}}).entering_column(kNone), std::nullopt);
    EXPECT_EQ(filled({{q(0), q(-1), q(5)}}).entering_column_bland(kNone), std::nullopt);
    EXPECT_EQ(Tableau(0, 0).entering_column(kNone), std::nullopt);
}

TEST(TableauEntering, ComparesValuesNotNumerators) {
    EXPECT_EQ(filled({{q(2, 3), q(3, 5), q(0)}}).entering_column(kNone), 0u);
    // Ties among equal values in a list built out of column order still go to the lowest.
    Tableau t(4, 0);
    t.set(0, 3, q(7, 2));
    t.set(0, 1, q(7, 2));
    t.set(0, 2, q(1));
    EXPECT_EQ(t.entering_column(kNone), 1u);
}

TEST(TableauLeaving, MinimumRatioLowestRowOnTies) {
    Tableau t = filled({{q(0), q(0), q(0), q(0), q(0)},
                        {q(2), q(1), q(0), q(0), q(4)},
                        {q(0), q(0), q(1), q(0), q(5)},
                        {q(1), q(0), q(0), q(1), q(2)}});
    t.set_basis(1, 1);
    t.set_basis(2, 2);
    t.set_basis(3, 3);
    EXPECT_EQ(t.leaving_row(0), (LeavingRow{1, 1}));
}

TEST(TableauLeaving, BlandBreaksTiesByLowestBasicColumn) {
    Tableau t = filled(
        {{q(0), q(0), q(0), q(0), q(0)}, {q(2), q(0), q(0), q(1), q(4)}, {q(1), q(0), q(1), q(0), q(2)}});
    t.set_basis(1, 3);
    t.set_basis(2, 2);
    EXPECT_EQ(t.leaving_row(0), (LeavingRow{1, 3}));
    EXPECT_EQ(t.leaving_row_bland(0), (LeavingRow{2, 2}));
}

TEST(TableauLeaving, NoneWithoutCandidateOrBasis) {
    Tableau negative = filled({{q(0), q(0)}, {q(-1), q(3)}, {q(0), q(1)}});
    negative.set_basis(1, 0);
    negative.set_basis(2, 0);
    EXPECT_EQ(negative.leaving_row(0), std::nullopt);
    EXPECT_EQ(Tableau(2, 0).leaving_row(0), std::nullopt);
    Tableau no_basis = filled({{q(0), q(0)}, {q(1), q(3)}});
    EXPECT_EQ(no_basis.leaving_row(0), std::nullopt);
    EXPECT_EQ(no_basis.leaving_row_bland(0), std::nullopt);
}

TEST(TableauLeaving, RatiosBeyond64BitsCompareExactly) {
    // Row 1 wins with ratio 1; row 2's ratio 4e9 / (1/4e9) = 1.6e19 does not fit 64 bits.
    Tableau t = filled({{q(0), q(0)}, {q(1), q(1)}, {q(1, 4000000000), q(4000000000)}});
    t.set_basis(1, 0);
    t.set_basis(2, 0);
    EXPECT_EQ(t.leaving_row(0), (LeavingRow{1, 0}));
    // Two wide ratios that differ only far below 64 bits of precision.
    Tableau u = filled({{q(0), q(0)},
                        {q(1, 4000000000), Rational::parse("16000000000000000001")},
                        {q(1, 4000000000), Rational::parse("16000000000000000000")}});
    u.set_basis(1, 0);
    u.set_basis(2, 0);
    EXPECT_EQ(u.leaving_row(0), (LeavingRow{2, 0}));
    EXPECT_EQ(u.leaving_row_bland(0), (LeavingRow{2, 0}));
}

TEST(TableauPivot, GaussJordanStep) {
    Tableau t = filled({{q(-1), q(-1), q(0)}, {q(2), q(1), q(4)}});
    t.pivot(1, 0);
    EXPECT_EQ(t.get(1, 0), q(1));
    EXPECT_EQ(t.get(1, 1), q(1, 2));
    EXPECT_EQ(t.get(1, 2), q(2));
    EXPECT_EQ(t.get(0, 0), q(0));
    EXPECT_EQ(t.get(0, 1), q(-1, 2));
    EXPECT_EQ(t.get(0, 2), q(2));
    EXPECT_EQ(t.basis(1), 0u);
    EXPECT_EQ(t.basic_value(0), q(2));
    EXPECT_EQ(t.objective_value(), q(2));
}

TEST(TableauPivot, ZeroPivotIsAnInvariantFailure) {
    Tableau t = filled({{q(0), q(0), q(0)}, {q(0), q(1), q(4)}});
    try {
        t.pivot(1, 0);
        FAIL() << "no failure";
    } catch (const InvariantFailure& failure) {
        EXPECT_EQ(failure.message(), "pivot value is zero");
    }
}

TEST(TableauPivot, RowsWithZeroInPivotColumnStayUntouched) {
    Tableau t = filled({{q(1), q(1), q(0), q(0)}, {q(2), q(0), q(1), q(4)}, {q(0), q(3), q(0), q(9)}});
    t.pivot(1, 0);
    EXPECT_EQ(t.get(2, 1), q(3));
    EXPECT_EQ(t.get(2, 3), q(9));
    EXPECT_EQ(t.get(0, 2), q(-1, 2));
    EXPECT_EQ(t.get(0, 3), q(-2));
}

TEST(TableauPivot, ProductsBeyond64BitsAreExact) {
    const std::int64_t big = 4000000000;
    Tableau t = filled({{q(0), q(0), q(0)}, {q(1), q(big), q(1)}, {q(big), q(1), q(1)}});
    t.pivot(1, 0);
    EXPECT_EQ(t.get(2, 1).to_string(), "-15999999999999999999");  // 1 - 4e9 * 4e9
    EXPECT_EQ(t.get(2, 2), q(1 - big));
    t.set_basis(2, 1);
    t.pivot(2, 1);  // dividing by the wide entry brings the row back to small values
    EXPECT_EQ(t.get(2, 1), q(1));
    EXPECT_EQ(t.get(1, 1), q(0));
    EXPECT_EQ(t.get(2, 2), q(1, big + 1));  // (1 - big) / (1 - big^2)
    EXPECT_EQ(t.get(1, 2), q(1, big + 1));
}

// The update entry - f * 1 of row 2, column 1, around the 64-bit edge.
Rational update_after_pivot(Rational f, Rational entry) {
    Tableau t = filled({{q(0), q(0), q(0)}, {q(1), q(1), q(1)}, {f, entry, q(0)}});
    t.pivot(1, 0);
    EXPECT_EQ(t.get(2, 0), q(0));
    return t.get(2, 1);
}

TEST(TableauPivot, UpdatesNearTheEdgeOfSixtyFourBits) {
    const std::int64_t two_62 = std::int64_t{1} << 62;
    // Unreduced the difference needs 2^63 as denominator; reduced it fits.
    EXPECT_EQ(update_after_pivot(q(1, 2), q(1, two_62)), q(1 - two_62 / 2, two_62));
    // 1/p - 1/(p+1) = 1/(p(p+1)) does not fit.
    EXPECT_EQ(update_after_pivot(q(1, 3037000501), q(1, 3037000500)).to_string(), "1/9223372040037250500");
    // Integer entries: the product, then the difference.
    EXPECT_EQ(update_after_pivot(q(-1), q(std::numeric_limits<std::int64_t>::max())).to_string(),
              "9223372036854775808");
    EXPECT_EQ(update_after_pivot(q(1), q(std::numeric_limits<std::int64_t>::min() + 1)),
              Rational::integer(std::numeric_limits<std::int64_t>::min()));
}

TEST(TableauState, FreshValuesAndMissingBasis) {
    Tableau t(3, 2);
    EXPECT_EQ(t.objective_value(), q(0));
    EXPECT_EQ(t.basic_value(1), std::nullopt);
    EXPECT_EQ(t.num_cols(), 4u);
    EXPECT_EQ(t.num_constraints(), 2u);
    EXPECT_THROW(t.get(3, 0), InvariantFailure);
}

TEST(TableauState, ShapesBeyondTheBudgetAreRefused) {
    try {
        Tableau(std::size_t{1} << 14, std::size_t{1} << 14);
        FAIL() << "no refusal";
    } catch (const MemoryBudgetExceeded& e) {
        EXPECT_STREQ(e.what(),
                     "the simplex tableau of 16384 constraint rows and 16384 variable columns exceeds the "
                     "limit of 67108864 entries");
    }
    EXPECT_THROW(Tableau(std::size_t{1} << 40, 0), MemoryBudgetExceeded);
    Tableau t(2, 2);
    EXPECT_THROW(t.reset(0, std::size_t{1} << 30), MemoryBudgetExceeded);
    t.reset(1, 1);
    EXPECT_EQ(t.get(1, 1), q(0));
}

TEST(TableauState, ResetClearsEverythingWhateverTheShape) {
    Tableau t = filled({{q(-1), q(-1), q(0)}, {q(2), q(1), q(4)}, {q(1), q(5), q(7)}});
    t.set_basis(2, 1);
    t.pivot(1, 0);
    for (auto [n, m] : {std::pair<std::size_t, std::size_t>{1, 1}, {4, 1}, {1, 3}, {2, 2}}) {
        t.reset(n, m);
        for (std::size_t i = 0; i <= m; ++i) {
            EXPECT_EQ(t.basis(i), std::nullopt);
            for (std::size_t j = 0; j <= n; ++j) EXPECT_EQ(t.get(i, j), q(0)) << i << "," << j;
        }
        t.set(m, n, q(3));
        t.set(0, 0, q(5));
    }
}

TEST(TableauObjectiveRow, SaveClearSubtractRestore) {
    Tableau t = filled({{q(1), q(0), q(2)}, {q(2), q(3), q(4)}});
    t.save_objective_row();
    t.clear_objective_row();
    EXPECT_EQ(t.get(0, 0), q(0));
    EXPECT_EQ(t.get(0, 2), q(0));
    t.subtract_from_objective(q(-1, 2), 1);
    EXPECT_EQ(t.get(0, 0), q(1));
    EXPECT_EQ(t.get(0, 1), q(3, 2));
    EXPECT_EQ(t.get(0, 2), q(2));
    t.restore_objective_row();
    EXPECT_EQ(t.get(0, 0), q(1));
    EXPECT_EQ(t.get(0, 1), q(0));
    EXPECT_EQ(t.get(0, 2), q(2));
    EXPECT_EQ(t.lowest_nonzero_column(1, kNone), 0u);
    const std::vector<std::uint8_t> without_0{1, 0};
    EXPECT_EQ(t.lowest_nonzero_column(1, without_0), 1u);
}

}  // namespace
}  // namespace mekra::lp
