#include "milp/solver.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "module/bodies.hpp"

namespace mekra {
namespace {

LinearProgram read(std::string_view text) {
    LpReadResult result = parse_lp(text);
    EXPECT_TRUE(std::holds_alternative<LinearProgram>(result)) << text;
    return std::get<LinearProgram>(std::move(result));
}

ModelEntry int_entry(std::uint64_t index, std::int64_t value) { return {index, ModelValue::integer(value)}; }

LpOutcome resource_limit() { return LpOutcome::unknown(SolverError{SolverError::Kind::ResourceLimit, {}}); }

struct Example {
    const char* name;
    const char* text;
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
        Example{"down_child_integral", "max x0\n2*x0 <= 3\nint x0", LpOutcome::optimal(1.0, {int_entry(0, 1)}), 2},
        Example{"up_child_integral", "min x0\n2*x0 >= 3\nint x0", LpOutcome::optimal(2.0, {int_entry(0, 2)}), 2},
        // The later integral solution x0 = 0, x1 = 1 ties and does not replace the incumbent.
        Example{"tie_keeps_first", "max x0 + x1\n2*x0 + 2*x1 <= 3\nint x0\nint x1",
                LpOutcome::optimal(1.0, {int_entry(0, 1), int_entry(1, 0)}), 8},
        Example{"both_children_infeasible", "max x0\n2*x0 = 3\nint x0", LpOutcome::infeasible(), 2},
        Example{"integral_root", "max x0\nx0 <= 2\nint x0", LpOutcome::optimal(2.0, {int_entry(0, 2)}), 0},
        Example{"unbounded_root", "max x0\nint x0", LpOutcome::unbounded(), 0},
        Example{"no_integers", "max x0\n2*x0 <= 3",
                LpOutcome::optimal(1.5, {{0, ModelValue::floating(1.5)}}), 0},
        // x1 first occurs in a constraint, so its declaration has no effect.
        Example{"declaration_too_late", "max x0\n2*x1 <= 3\nint x1", LpOutcome::unbounded(), 0},
        Example{"node_limit", "min x0 + 0*x1\n2*x0 - 2*x1 = 1\nint x0\nint x1", resource_limit(), 1000}),
    [](const testing::TestParamInfo<Example>& info) { return std::string(info.param.name); });

// An incumbent is found at once (x2 = 1, x0 = x1 = 0, objective 1), but the chain of
// cheaper relaxations with x2 = 0 never ends: the limit cuts it short with open nodes whose
// bounds are below the incumbent, so the incumbent is only known to be feasible.
TEST(MilpMends, CutShortWithUnprunedOpenNodesIsFeasible) {
    const MilpSearch search =
        search_milp(read("min 0.001*x0 + 0*x1 + x2\n2*x0 - 2*x1 + x2 = 1\nx2 <= 1\nint x0\nint x1\nint x2"));
    EXPECT_EQ(search.explored, MAX_NODES);
    EXPECT_EQ(search.outcome, LpOutcome::feasible({int_entry(0, 0), int_entry(1, 0), int_entry(2, 1)}));
}

TEST(MilpBody, ReaderMessageIsBadInput) {
    const CallResult<LpOutcome> result = solve_milp_text_body("foo");
    ASSERT_TRUE(std::holds_alternative<Rejection>(result));
    EXPECT_EQ(std::get<Rejection>(result), Rejection::bad_input("line 1: bad syntax: foo"));
}

TEST(MilpBody, SolvesText) {
    const CallResult<LpOutcome> result = solve_milp_text_body("max x0\n2*x0 <= 3\nint x0\n");
    ASSERT_TRUE(std::holds_alternative<LpOutcome>(result));
    EXPECT_EQ(std::get<LpOutcome>(result), LpOutcome::optimal(1.0, {int_entry(0, 1)}));
}

}  // namespace
}  // namespace mekra
