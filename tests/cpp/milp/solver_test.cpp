#include "milp/solver.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "calls/calls.hpp"
#include "lp/reader.hpp"

namespace mekra::milp {
namespace {

LinearProgram read(std::string_view text) {
    lp::LpReadResult result = lp::parse_lp(text);
    EXPECT_TRUE(std::holds_alternative<LinearProgram>(result)) << text;
    return std::get<LinearProgram>(std::move(result));
}

ModelEntry int_entry(std::uint64_t index, std::int64_t value) { return {index, ModelValue::integer(value)}; }

LpOutcome resource_limit() { return LpOutcome::unknown(SolverError{SolverError::Kind::ResourceLimit, {}}); }

// min x0 + ... + x{n-1} (+ escape), 2*x0 + ... + 2*x{n-1} (+ x{n}) = 11, all binary. With an
// escape term the variable xn may take up the odd unit.
std::string parity_program(int n, const std::string& escape_cost) {
    std::string objective = "min ";
    std::string row;
    std::string declarations;
    for (int i = 0; i < n; ++i) {
        const std::string x = "x" + std::to_string(i);
        objective += (i ? " + " : "") + x;
        row += (i ? " + 2*" : "2*") + x;
        declarations += "\nint " + x + "\n" + x + " <= 1";
    }
    if (!escape_cost.empty()) {
        const std::string y = "x" + std::to_string(n);
        objective += " + " + escape_cost + "*" + y;
        row += " + " + y;
        declarations += "\nint " + y + "\n" + y + " <= 1";
    }
    return objective + "\n" + row + " = 11" + declarations;
}

struct Example {
    const char* name;
    std::string text;
    LpOutcome outcome;
    std::uint64_t explored;
};

class MilpExample : public testing::TestWithParam<Example> {};

TEST_P(MilpExample, GivesTheWrittenOutcome) {
    const Example& example = GetParam();
    const MilpSearch search = search_milp(read(example.text));
    EXPECT_EQ(to_text(search.outcome), to_text(example.outcome));
    EXPECT_EQ(search.outcome, example.outcome);
    EXPECT_EQ(search.explored, example.explored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MilpExample,
    testing::Values(
        // Root x0 = 1.5; the down child is integral, the up child infeasible.
        Example{"down_child_integral", "max x0\n2*x0 <= 3\nint x0",
                LpOutcome::optimal(1.0, {int_entry(0, 1)}), 2},
        Example{"up_child_integral", "min x0\n2*x0 >= 3\nint x0", LpOutcome::optimal(2.0, {int_entry(0, 2)}),
                2},
        // The later integral solution x0 = 0, x1 = 1 ties and does not replace the incumbent.
        Example{"tie_keeps_first", "max x0 + x1\n2*x0 + 2*x1 <= 3\nint x0\nint x1",
                LpOutcome::optimal(1.0, {int_entry(0, 1), int_entry(1, 0)}), 8},
        Example{"both_children_infeasible", "max x0\n2*x0 = 3\nint x0", LpOutcome::infeasible(), 2},
        Example{"integral_root", "max x0\nx0 <= 2\nint x0", LpOutcome::optimal(2.0, {int_entry(0, 2)}), 0},
        Example{"unbounded_root", "max x0\nint x0", LpOutcome::unbounded(), 0},
        Example{"no_integers", "max x0\n2*x0 <= 3", LpOutcome::optimal(1.5, {{0, ModelValue::floating(1.5)}}),
                0},
        // x1 first occurs in a constraint, so its declaration has no effect.
        Example{"declaration_too_late", "max x0\n2*x1 <= 3\nint x1", LpOutcome::unbounded(), 0},
        // Eleven binaries whose doubled sum must be odd: no integral point, and a tree wider
        // than the node limit.
        Example{"node_limit_wide", parity_program(11, ""), resource_limit(), 1000}),
    [](const testing::TestParamInfo<Example>& info) { return std::string(info.param.name); });

// The written example of the node limit: a chain about 500 levels deep, each level one bound
// constraint more. Too slow for the sanitizer builds; the wide program above covers the limit.
TEST(MilpExampleSlow, ChainReachesTheNodeLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "several seconds per search without sanitizers, minutes with them";
#endif
    const MilpSearch search = search_milp(read("min x0 + 0*x1\n2*x0 - 2*x1 = 1\nint x0\nint x1"));
    EXPECT_EQ(search.outcome, resource_limit());
    EXPECT_EQ(search.explored, MAX_NODES);
    EXPECT_TRUE(search.limit_reached);
}

// Integral points need the escape x11 = 1 and cost 0.6 more than the relaxations (5.5), so the
// incumbent found early never prunes the open nodes: cut short, it is only feasible.
TEST(MilpMends, CutShortWithUnprunedOpenNodesIsFeasible) {
    const MilpSearch search = search_milp(read(parity_program(11, "0.6")));
    EXPECT_TRUE(search.limit_reached);
    EXPECT_EQ(search.explored, MAX_NODES);
    Model model;
    for (std::uint64_t i = 0; i < 12; ++i) model.push_back(int_entry(i, 0));
    for (std::uint64_t i : {1, 2, 7, 8, 9, 11}) model[i] = int_entry(i, 1);
    EXPECT_EQ(search.outcome, LpOutcome::feasible(model));
}

// A covering program over fourteen binaries whose best-first search finds the optimum 15 and
// then still holds more nodes than the limit allows, every one of them with a bound of at
// least 15: cut short, the incumbent is nevertheless proven.
TEST(MilpMends, CutShortWithEveryOpenNodePrunedIsOptimal) {
    std::string text =
        "min 2*x0 + 3*x1 + 3*x2 + 4*x3 + 2*x4 + 5*x5 + 4*x6 + 2*x7 + 2*x8 + 2*x9 + 2*x10 + 3*x11"
        " + 3*x12 + 3*x13\n"
        "4*x0 + 6*x1 + 5*x2 + 3*x3 + 5*x4 + 6*x5 + 5*x6 + 4*x7 + 4*x8 + 3*x9 + 2*x10 + 4*x11"
        " + 2*x12 + 6*x13 >= 21\n"
        "5*x0 + 5*x1 + 5*x2 + 5*x3 + 5*x4 + 2*x5 + 2*x6 + 5*x7 + 5*x8 + 5*x9 + 4*x10 + 5*x11"
        " + 5*x12 + 4*x13 >= 31";
    for (int i = 0; i < 14; ++i) text += "\nint x" + std::to_string(i) + "\nx" + std::to_string(i) + " <= 1";
    const MilpSearch search = search_milp(read(text));
    EXPECT_TRUE(search.limit_reached);
    EXPECT_EQ(search.explored, MAX_NODES);
    Model model;
    for (std::uint64_t i = 0; i < 14; ++i)
        model.push_back(int_entry(i, i == 0 || i == 4 || i == 7 || i == 8 || i == 9 || i == 10 || i == 12));
    EXPECT_EQ(search.outcome, LpOutcome::optimal(15.0, model));
}

// With the escape costing exactly the relaxation's 0.5, an incumbent of 5.5 prunes everything.
TEST(MilpMends, IncumbentMatchingEveryBoundIsOptimal) {
    const MilpSearch search = search_milp(read(parity_program(11, "0.5")));
    EXPECT_FALSE(search.limit_reached);
    EXPECT_EQ(search.outcome.kind, LpOutcome::Kind::Optimal);
    EXPECT_EQ(search.outcome.objective, 5.5);
}

// Nine-place decimals: node relaxations whose values leave 64 bits are solved exactly.
TEST(MilpWide, NodesBeyond64BitsAreSolved) {
    const MilpSearch first =
        search_milp(read("min 4*x0 + 5*x1\n8.642521001*x0 + 7.463734936*x1 = 18\nint x0\nint x1"));
    EXPECT_EQ(first.unresolved, 0u);
    EXPECT_EQ(first.outcome, LpOutcome::infeasible());
    const MilpSearch second =
        search_milp(read("min 9*x0 + 3*x1\nx0 + 7.193707387*x1 = 27\n4*x0 + 9*x1 >= 9\nint x0\nint x1"));
    EXPECT_EQ(second.unresolved, 0u);
    EXPECT_EQ(second.outcome, LpOutcome::optimal(243.0, {int_entry(0, 27), int_entry(1, 0)}));
}

TEST(MilpBody, ReaderMessageIsBadInput) {
    const CallResult<LpOutcome> result = calls::solve_milp_text_body("foo");
    ASSERT_TRUE(std::holds_alternative<Rejection>(result));
    EXPECT_EQ(std::get<Rejection>(result), Rejection::bad_input("line 1: bad syntax: foo"));
}

TEST(MilpBody, SumsBeyond64BitsAreRead) {
    const CallResult<LpOutcome> result =
        calls::solve_milp_text_body("max 9000000000000000000*x0 + 9000000000000000000*x0\nint x0\nx0 <= 1");
    ASSERT_TRUE(std::holds_alternative<LpOutcome>(result));
    EXPECT_EQ(std::get<LpOutcome>(result), LpOutcome::optimal(1.8e19, {int_entry(0, 1)}));
}

TEST(MilpBody, SolvesText) {
    const CallResult<LpOutcome> result = calls::solve_milp_text_body("max x0\n2*x0 <= 3\nint x0\n");
    ASSERT_TRUE(std::holds_alternative<LpOutcome>(result));
    EXPECT_EQ(std::get<LpOutcome>(result), LpOutcome::optimal(1.0, {int_entry(0, 1)}));
}

}  // namespace
}  // namespace mekra::milp
