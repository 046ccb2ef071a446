// A tableau that starts sparse against one that starts dense: the same writes, in order or
// not, give the same reads before the first pivot and the same entries after every pivot,
// whether the first pivot moves the sparse one to the factored form or to the dense block.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "lp/programs.hpp"
#include "lp/tableau.hpp"

namespace mekra::lp {
namespace {

using testing::q;

struct SparseStartCase {
    bool sparse;        // few non-zeros: the first pivot moves to the factored form
    bool unit_columns;  // every row starts with a unit basic column
    bool shuffled;      // entries written out of order, some twice: the dense block takes over
    const char* name;
};

class SparseStart : public ::testing::TestWithParam<SparseStartCase> {};

struct Write {
    std::size_t row, col;
    Rational value;
};

TEST_P(SparseStart, ReadsAndPivotsMatchADenseStart) {
    const SparseStartCase c = GetParam();
    std::mt19937_64 rng(std::hash<std::string>{}(c.name));
    const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto value = [&] {
        if (uniform(0, 5) == 0)
            return Rational::parse(std::to_string(uniform(1, 9)) + "123456789012345678901/7");
        return q(uniform(-9, 9) == 0 ? 1 : uniform(-9, 9), uniform(1, 4));
    };
    int factored = 0;
    for (int round = 0; round < 12; ++round) {
        const std::size_t m = uniform(20, 40), structural = uniform(30, 80);
        const std::size_t cols = structural + m + 1, rhs = cols - 1;
        const int percent = c.sparse ? 3 : 40;
        // Without unit columns, one row's starting basic entry is 2.
        const std::size_t odd_row = c.unit_columns ? 0 : uniform(1, static_cast<int>(m));
        std::vector<Write> writes;
        // Every structural column gets a positive entry, so that Dantzig's rule finds pivots.
        std::vector<std::size_t> positive_row(structural);
        for (std::size_t j = 0; j < structural; ++j) positive_row[j] = uniform(1, static_cast<int>(m));
        for (std::size_t i = 1; i <= m; ++i) {
            for (std::size_t j = 0; j < structural; ++j)
                if (positive_row[j] == i)
                    writes.push_back({i, j, q(uniform(1, 5), uniform(1, 3))});
                else if (uniform(1, 100) <= percent)
                    writes.push_back({i, j, value()});
            writes.push_back({i, structural + i - 1, i == odd_row ? q(2) : q(1)});
            if (uniform(0, 3) > 0) writes.push_back({i, rhs, q(uniform(0, 20), uniform(1, 3))});
        }
        std::sort(writes.begin(), writes.end(), [](const Write& a, const Write& b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
        if (c.shuffled) {
            std::shuffle(writes.begin(), writes.end(), rng);
            for (int k = 0; k < 5; ++k) writes.push_back({writes[k].row, writes[k].col, value()});
        }

        for (std::size_t j = 0; j < structural; ++j)
            if (uniform(0, 1)) writes.insert(writes.begin(), {0, j, q(uniform(-5, 9))});
        Tableau sparse(cols - 1, m), dense(cols - 1, m);
        sparse.set_factored_form_min_rows(0);
        dense.set_factored_form_min_rows(SIZE_MAX);
        ASSERT_TRUE(sparse.sparse_start());
        for (Tableau* t : {&sparse, &dense}) {
            for (const Write& w : writes) t->set(w.row, w.col, w.value);
            for (std::size_t i = 1; i <= m; ++i) t->set_basis(i, structural + i - 1);
        }
        ASSERT_EQ(sparse.sparse_start(), !c.shuffled);

        // Every read before the first pivot.
        std::vector<std::int8_t> signs_sparse, signs_dense;
        for (std::size_t j = 0; j < cols; ++j) {
            for (std::size_t i = 0; i <= m; ++i) {
                ASSERT_EQ(sparse.get(i, j), dense.get(i, j)) << i << "," << j;
                ASSERT_EQ(sparse.sign(i, j), dense.sign(i, j)) << i << "," << j;
            }
            sparse.column_signs(j, signs_sparse);
            dense.column_signs(j, signs_dense);
            ASSERT_EQ(signs_sparse, signs_dense) << j;
            if (j == rhs) continue;
            ASSERT_EQ(sparse.leaving_row(j), dense.leaving_row(j)) << j;
            ASSERT_EQ(sparse.leaving_row_bland(j), dense.leaving_row_bland(j)) << j;
        }
        for (std::size_t i = 1; i <= m; ++i) {
            ASSERT_EQ(sparse.stored_nonzeros(i), dense.stored_nonzeros(i)) << i;
            ASSERT_EQ(sparse.lowest_nonzero_column(i, {}), dense.lowest_nonzero_column(i, {})) << i;
        }
        const std::size_t phase_row = uniform(1, static_cast<int>(m));
        // Whole: a fraction in a unit column would give it a scale, and bar the factored form.
        const Rational factor = q(uniform(1, 7));
        sparse.subtract_from_objective(factor, phase_row);
        dense.subtract_from_objective(factor, phase_row);

        // Dantzig's rule on both, every entry compared after each pivot.
        // A dense pattern of wide values grows fast: a few steps show the same path.
        const std::size_t steps = c.sparse ? m : 6;
        for (std::size_t step = 0; step < steps; ++step) {
            const std::optional<std::size_t> col = dense.entering_column({});
            ASSERT_EQ(sparse.entering_column({}), col) << "step " << step;
            if (!col) break;
            const std::optional<LeavingRow> leaving = dense.leaving_row(*col);
            ASSERT_EQ(sparse.leaving_row(*col), leaving) << "step " << step;
            if (!leaving) break;
            sparse.pivot(leaving->row, *col);
            dense.pivot(leaving->row, *col);
            if (step == 0) {
                EXPECT_FALSE(sparse.sparse_start());
                factored += sparse.factored_form() ? 1 : 0;
            }
            // By columns: the factored form computes one column at a time.
            for (std::size_t j = 0; j < cols; ++j)
                for (std::size_t i = 0; i <= m; ++i)
                    ASSERT_EQ(sparse.get(i, j), dense.get(i, j))
                        << "step " << step << " entry " << i << "," << j;
        }
    }
    // A sparse start with unit columns moves to the factored form at the first pivot.
    if (c.sparse && c.unit_columns && !c.shuffled) {
        EXPECT_EQ(factored, 12);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SparseStart,
                         ::testing::Values(SparseStartCase{true, true, false, "sparse_to_factored"},
                                           SparseStartCase{true, false, false, "sparse_without_unit_columns"},
                                           SparseStartCase{false, true, false, "dense_pattern"},
                                           SparseStartCase{true, true, true, "written_out_of_order"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SparseStart, ChosenByTheRowCountUntilSomethingIsWritten) {
    Tableau t(10, 3);
    EXPECT_FALSE(t.sparse_start());
    t.set_factored_form_min_rows(3);
    EXPECT_TRUE(t.sparse_start());
    t.set_factored_form_min_rows(4);
    EXPECT_FALSE(t.sparse_start());
    t.set(2, 5, q(7));
    t.set_factored_form_min_rows(0);
    EXPECT_FALSE(t.sparse_start());  // the dense block keeps what was written
    EXPECT_EQ(t.get(2, 5), q(7));
    t.reset(10, 3);
    EXPECT_TRUE(t.sparse_start());
    t.set(2, 5, q(7));
    t.reset(4, 2);
    EXPECT_TRUE(t.sparse_start());
    EXPECT_EQ(t.get(2, 3), q(0));
}

}  // namespace
}  // namespace mekra::lp
