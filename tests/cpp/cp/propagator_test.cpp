#include "cp/propagator.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cp/difference_cycle.hpp"
#include "cp/exact.hpp"
#include "cp/reader.hpp"

namespace {

using namespace mekra::cp;

CpStore store_of(std::string_view text) {
    auto read = parse_cp_model(text);
    if (auto* message = std::get_if<std::string>(&read)) ADD_FAILURE() << *message;
    return CpStore(std::get<CpModel>(read));
}

struct PropagationCase {
    const char* text;
    bool ok;
    std::vector<Domain> after;  // checked when ok
    friend void PrintTo(const PropagationCase& c, std::ostream* os) { *os << c.text; }
};

class Propagation : public testing::TestWithParam<PropagationCase> {};

TEST_P(Propagation, ReachesTheFixpoint) {
    const auto& c = GetParam();
    CpStore store = store_of(c.text);
    ASSERT_EQ(propagate(store), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(store.domains(), c.after) << c.text;
        // a second run changes nothing
        EXPECT_TRUE(propagate(store));
        EXPECT_EQ(store.domains(), c.after) << c.text;
    }
}

constexpr std::int64_t MIN = INT64_MIN, MAX = INT64_MAX;

INSTANTIATE_TEST_SUITE_P(
    Examples, Propagation,
    testing::Values(
        PropagationCase{"var x 0 5\nvar y 3 9\neq x y", true, {{3, 5}, {3, 5}}},
        PropagationCase{"var x 0 2\nvar y 3 9\neq x y", false, {}},
        PropagationCase{"var x 3 3\nvar y 3 7\nneq x y", true, {{3, 3}, {4, 7}}},
        PropagationCase{"var x 3 3\nvar y 0 3\nneq x y", true, {{3, 3}, {0, 2}}},
        PropagationCase{"var x 3 3\nvar y 1 7\nneq x y", true, {{3, 3}, {1, 7}}},
        PropagationCase{"var x 3 3\nvar y 3 3\nneq x y", false, {}},
        PropagationCase{"var x 0 5\nvar y 0 5\nlt x y", true, {{0, 4}, {1, 5}}},
        PropagationCase{"var x 5 9\nvar y 0 5\nlt x y", false, {}},
        PropagationCase{"var x 0 10\nvar y 0 3\nle x y 2", true, {{0, 5}, {0, 3}}},
        PropagationCase{"var x 0 10\nvar y 0 10\nlinear 2 x 3 y 12 le", true, {{0, 6}, {0, 4}}},
        PropagationCase{"var x 0 5\nvar y 3 9\nlinear 1 x -1 y 0 eq", true, {{3, 5}, {3, 5}}},
        PropagationCase{"var x -10 10\nlinear 2 x -3 le", true, {{-10, -2}}},
        PropagationCase{"var x -10 10\nlinear -2 x 3 le", true, {{-1, 10}}},
        PropagationCase{"var x -10 10\nlinear 2 x 3 ge", true, {{2, 10}}},
        PropagationCase{"var x 1 1\nvar y 1 3\nvar z 2 3\nallDiff x y z", true, {{1, 1}, {2, 3}, {2, 3}}},
        PropagationCase{"var x 1 1\nvar y 1 1\nallDiff x y", false, {}},
        PropagationCase{"var x 1 1\nallDiff x x", false, {}},
        PropagationCase{"var e 5 3\nvar y 3 3\nneq e y\nallDiff y e", true, {{5, 3}, {3, 3}}},
        PropagationCase{"var x 0 5\nvar y 0 5", true, {{0, 5}, {0, 5}}},
        PropagationCase{"var x 0 5\nvar y 0 5\nle x y 10\nlinear 1 x 1 y 100 le", true, {{0, 5}, {0, 5}}},
        // AllDiff cascades: fixing 1 leaves y = 2, which is shaved from z
        PropagationCase{
            "var x 1 1\nvar y 1 2\nvar z 1 3\nalldifferent z y x", true, {{1, 1}, {2, 2}, {3, 3}}},
        // merged terms: x + x = 4 fixes x = 2
        PropagationCase{"var x 0 5\nlinear 1 x 1 x 4 eq", true, {{2, 2}}},
        PropagationCase{"var x 0 5\nlinear 2 x -2 x 1 eq", false, {}},
        PropagationCase{"var x 0 5\nlinear 2 x -2 x 1 le", true, {{0, 5}}},
        PropagationCase{"var x 0 5\nlinear 0 x 5 eq", false, {}},
        PropagationCase{"var x 0 5\nlinear 0 x 5 le", true, {{0, 5}}},
        PropagationCase{"var x 0 5\nlinear 0 x -5 ge", true, {{0, 5}}},
        // exact arithmetic at the ends of the 64-bit range
        PropagationCase{
            "var x -9223372036854775808 0\nvar y 9223372036854775807 9223372036854775807\nle x y 10",
            true,
            {{MIN, 0}, {MAX, MAX}}},
        PropagationCase{"var x 0 0\nvar y -9223372036854775808 -9223372036854775808\nle x y -1", false, {}},
        PropagationCase{
            "var x 9223372036854775807 9223372036854775807\nvar y 0 9223372036854775807\nlt x y", false, {}},
        PropagationCase{"var x -9223372036854775808 9223372036854775807\n"
                        "var y -9223372036854775808 9223372036854775807\n"
                        "linear 9223372036854775807 x 9223372036854775807 y 0 le",
                        true,
                        {{MIN, MAX}, {MIN, MAX}}},
        PropagationCase{"var x -9223372036854775808 9223372036854775807\n"
                        "var y 9223372036854775807 9223372036854775807\n"
                        "linear 9223372036854775807 x 9223372036854775807 y 0 le",
                        true,
                        {{MIN, -MAX}, {MAX, MAX}}},
        PropagationCase{"var x -5 5\nlinear -9223372036854775808 x 9223372036854775807 le", true, {{0, 5}}},
        PropagationCase{"var x -5 5\nlinear -9223372036854775808 x -9223372036854775808 ge", true, {{-5, 1}}},
        PropagationCase{
            "var x -5 5\nvar y 0 1\nlinear -9223372036854775808 x 1 y 1 eq", true, {{0, 0}, {1, 1}}},
        // a merged coefficient beyond 64 bits: (2^64 - 2) x + y = 5 with y in [0, 10]
        PropagationCase{"var x -5 5\nvar y 0 10\n"
                        "linear 9223372036854775807 x 9223372036854775807 x 1 y 5 eq",
                        true,
                        {{0, 0}, {5, 5}}},
        PropagationCase{
            "var x -5 5\nlinear 9223372036854775807 x 9223372036854775807 x -1 le", true, {{-5, -1}}},
        PropagationCase{"var x -5 5\n"
                        "linear -9223372036854775808 x -9223372036854775808 x -9223372036854775808 x "
                        "9223372036854775807 ge",
                        true,
                        {{-5, -1}}},
        // offsets a - b = c, either way round
        PropagationCase{"var u 0 20\nvar q 3 5\nlinear 1 u -1 q 4 eq", true, {{7, 9}, {3, 5}}},
        PropagationCase{"var u 0 8\nvar q 3 5\nlinear -1 q 1 u 4 eq", true, {{7, 8}, {3, 4}}},
        PropagationCase{"var u 0 6\nvar q 3 5\nlinear 1 u -1 q 4 eq", false, {}},
        PropagationCase{"var a 9223372036854775806 9223372036854775807\nvar b 0 10\n"
                        "linear 1 a -1 b 9223372036854775807 eq",
                        true,
                        {{MAX, MAX}, {0, 0}}},
        // Neq and AllDiff at the ends of the range
        PropagationCase{"var x 9223372036854775807 9223372036854775807\n"
                        "var y 9223372036854775806 9223372036854775807\nneq x y",
                        true,
                        {{MAX, MAX}, {MAX - 1, MAX - 1}}},
        PropagationCase{"var x -9223372036854775808 -9223372036854775808\n"
                        "var y -9223372036854775808 0\nallDiff x y",
                        true,
                        {{MIN, MIN}, {MIN + 1, 0}}}));

TEST(Propagate, StoreWithoutConstraintsChangesNothing) {
    CpStore store = store_of("var x 0 5\nvar y 5 3");
    EXPECT_TRUE(propagate(store));
    EXPECT_EQ(store.domains(), (std::vector<Domain>{{0, 5}, {5, 3}}));
}

TEST(Propagate, TrailRestoresABranch) {
    CpStore store = store_of("var x 0 9\nvar y 0 9\nvar z 0 9\nlt x y\nlt y z");
    ASSERT_TRUE(propagate(store));
    const auto root = store.domains();
    std::size_t mark = store.trail_mark();
    store.new_branch();
    store.assign(1, 4);
    ASSERT_TRUE(store.run_queue());
    EXPECT_EQ(store.domains(), (std::vector<Domain>{{0, 3}, {4, 4}, {5, 9}}));
    store.undo_to(mark);
    EXPECT_EQ(store.domains(), root);
    store.new_branch();
    store.assign(1, 8);
    EXPECT_TRUE(store.run_queue());
    store.undo_to(mark);
    store.new_branch();
    store.assign(2, 1);
    EXPECT_FALSE(store.run_queue());
    store.undo_to(mark);
    EXPECT_EQ(store.domains(), root);
}

TEST(CertainlyInfeasible, EmptyDomainsAndNegativeCycles) {
    struct Case {
        const char* text;
        bool infeasible;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"var x 1 0", true},
             {"var x 0 1000000000000\nlt x x", true},
             {"var x 0 5\nle x x -1", true},
             {"var x 0 5\nle x x 0\neq x x", false},
             {"var x 0 1000000000000\nvar y 0 1000000000000\nlt x y\nlt y x", true},
             {"var x 0 9\nvar y 0 9\nle x y 3\nle y x -3", false},
             {"var x 0 9\nvar y 0 9\nle x y 3\nle y x -4", true},
             {"var x 0 9\nvar y 0 9\nvar z 0 9\neq x y\neq y z\nlt z x", true},
             {"var x 0 9\nvar y 0 9\nvar z 0 9\nlt x y\nlt y z", false},
             // 2x - 2y = 1 has no integer solution: x <= y + 0 and y <= x - 1
             {"var x 0 1000000000000\nvar y 0 1000000000000\nlinear 2 x -2 y 1 eq", true},
             {"var x 0 9\nvar y 0 9\nlinear 1 x -1 y 0 le\nlinear -1 x 1 y -1 le", true},
             {"var x 0 9\nvar y 0 9\nlinear 1 x -1 y 0 le\nlinear 1 y -1 x 0 le", false},
             {"var x 0 9\nvar y 0 9\nlinear 3 x -3 y 2 ge\nle x y 0", true},
         }) {
        EXPECT_EQ(store_of(c.text).certainly_infeasible(), c.infeasible) << c.text;
    }
}

TEST(DifferenceCycle, LongChainClosedByAPositiveEdgeIsNotNegative) {
    std::vector<DifferenceEdge> edges;
    const std::size_t n = 20000;
    for (std::size_t i = 0; i + 1 < n; ++i) edges.push_back({i + 1, i, -1});  // x_i < x_{i+1}
    edges.push_back({0, n - 1, static_cast<Int128>(n - 1)});
    EXPECT_FALSE(has_negative_cycle(n, edges));
    edges.back().weight = static_cast<Int128>(n) - 2;
    EXPECT_TRUE(has_negative_cycle(n, edges));
}

TEST(ExactSum, KeepsSumsBeyond128Bits) {
    const Int128 big = static_cast<Int128>(INT64_MAX) * INT64_MAX;
    ExactSum s;
    for (int i = 0; i < 6; ++i) s += big;
    EXPECT_EQ(s.clamped(), INT128_MAX_VALUE);
    for (int i = 0; i < 6; ++i) s -= big;
    EXPECT_EQ(s.sign(), 0);
    s -= big;
    s -= big;
    s -= big;
    EXPECT_EQ(s.clamped(), -INT128_MAX_VALUE);
    s += big;
    s += big;
    EXPECT_EQ(s.clamped(), -big);
    ExactSum p = ExactSum::product(static_cast<Int128>(INT64_MAX) * 4, INT64_MIN);
    ExactSum q(static_cast<Int128>(INT64_MAX) * INT64_MIN);
    q += q;
    q += q;
    p -= q;
    EXPECT_EQ(p.sign(), 0);
    EXPECT_EQ(floor_div(-7, 2), -4);
    EXPECT_EQ(ceil_div(-7, 2), -3);
    EXPECT_EQ(floor_div(7, -2), -4);
    EXPECT_EQ(ceil_div(7, -2), -3);
    EXPECT_EQ(floor_div(-6, -2), 3);
}

}  // namespace
