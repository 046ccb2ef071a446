#include "lp/solver.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "linear/digit_budget.hpp"
#include "lp/literal_simplex.hpp"
#include "lp/programs.hpp"

namespace mekra::lp {
namespace {

using testing::add_row;
using testing::affine;
using testing::program_with_vars;
using testing::q;
using testing::set_objective;

constexpr auto Le = Relation::Le;
constexpr auto Ge = Relation::Ge;
constexpr auto Eq = Relation::Eq;

ModelEntry int_entry(std::uint64_t i, std::int64_t v) { return {i, ModelValue::integer(v)}; }
ModelEntry float_entry(std::uint64_t i, double v) { return {i, ModelValue::floating(v)}; }

LpOutcome solve(LinearProgram p) {
    LpSolver solver;
    solver.load(std::move(p));
    return solver.solve();
}

TEST(LpSolver, NoSystemLoaded) {
    LpSolver solver;
    EXPECT_EQ(solver.solve(), LpOutcome::unknown(SolverError::internal("no system loaded")));
    EXPECT_TRUE(solver.labels().empty());
}

TEST(LpSolver, MaximiseTwoVariables) {
    LinearProgram p = program_with_vars(2);
    set_objective(p, Sense::Maximize, affine({{q(3), 0}, {q(2), 1}}));
    add_row(p, affine({{q(1), 0}, {q(1), 1}}), Le, q(4));
    add_row(p, affine({{q(1), 0}, {q(3), 1}}), Le, q(6));
    EXPECT_EQ(solve(p), LpOutcome::optimal(12.0, {int_entry(0, 4), int_entry(1, 0)}));
}

TEST(LpSolver, MinimiseTiesEnterLowerColumn) {
    LinearProgram p = program_with_vars(2);
    set_objective(p, Sense::Minimize, affine({{q(1), 0}, {q(1), 1}}));
    add_row(p, affine({{q(1), 0}, {q(1), 1}}), Ge, q(2));
    EXPECT_EQ(solve(p), LpOutcome::optimal(2.0, {int_entry(0, 2), int_entry(1, 0)}));
}

TEST(LpSolver, SmallExamples) {
    struct Case {
        const char* name;
        LinearProgram program;
        LpOutcome expected;
    };
    std::vector<Case> cases;
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Minimize, affine({{q(1), 0}}));
        add_row(p, affine({{q(1), 0}}), Eq, q(1));
        cases.push_back({"min x0, x0 = 1", p, LpOutcome::optimal(1.0, {int_entry(0, 1)})});
    }
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Minimize, affine({{q(1), 0}}, q(5)));
        add_row(p, affine({{q(1), 0}}), Ge, q(1));
        cases.push_back({"min x0 + 5, x0 >= 1", p, LpOutcome::optimal(6.0, {int_entry(0, 1)})});
    }
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
        add_row(p, affine({{q(3), 0}}), Le, q(1));
        cases.push_back({"max x0, 3x0 <= 1", p, LpOutcome::optimal(1.0 / 3.0, {float_entry(0, 1.0 / 3.0)})});
    }
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
        cases.push_back({"max x0", p, LpOutcome::unbounded()});
    }
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Minimize, affine({{q(1), 0}}));
        cases.push_back({"min x0", p, LpOutcome::optimal(0.0, {int_entry(0, 0)})});
    }
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
        add_row(p, affine({{q(1), 0}}), Le, q(-1));
        cases.push_back({"max x0, x0 <= -1", p, LpOutcome::infeasible()});
    }
    {
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Minimize, affine({{q(1), 0}}));
        add_row(p, affine({{q(1), 0}}), Ge, q(-1));
        cases.push_back({"min x0, x0 >= -1", p, LpOutcome::optimal(0.0, {int_entry(0, 0)})});
    }
    {
        LinearProgram p = program_with_vars(1);
        add_row(p, affine({{q(1), 0}}), Ge, q(1));
        cases.push_back({"x0 >= 1", p, LpOutcome::optimal(0.0, {int_entry(0, 1)})});
    }
    cases.push_back({"empty", program_with_vars(0), LpOutcome::optimal(0.0, {})});
    {
        LinearProgram p = program_with_vars(1);
        add_row(p, affine({{q(1), 0}}), Le, q(1));
        add_row(p, affine({{q(1), 0}}), Ge, q(2));
        cases.push_back({"x0 <= 1, x0 >= 2", p, LpOutcome::infeasible()});
    }
    {
        LinearProgram p = program_with_vars(1);
        p.var_info[0].integer = true;  // ignored by the LP solver
        set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
        add_row(p, affine({{q(2), 0}}), Le, q(3));
        cases.push_back({"int x0, max x0, 2x0 <= 3", p, LpOutcome::optimal(1.5, {float_entry(0, 1.5)})});
    }
    {
        // A variable that occurs nowhere but in the variable list is reported as 0.
        LinearProgram p = program_with_vars(3);
        set_objective(p, Sense::Maximize, affine({{q(1), 2}}));
        add_row(p, affine({{q(1), 2}}), Le, q(7, 2));
        cases.push_back({"unused variables", p,
                         LpOutcome::optimal(3.5, {int_entry(0, 0), int_entry(1, 0), float_entry(2, 3.5)})});
    }
    for (const Case& c : cases) {
        EXPECT_EQ(solve(c.program), c.expected) << c.name;
        testing::LiteralSimplex literal;
        EXPECT_EQ(literal.solve(c.program), c.expected) << c.name;
    }
}

TEST(LpSolver, LabelsNameColumnsInConstraintOrder) {
    LinearProgram p = program_with_vars(2);
    add_row(p, affine({{q(1), 0}}), Le, q(1));   // slack
    add_row(p, affine({{q(1), 1}}), Ge, q(1));   // surplus, artificial
    add_row(p, affine({{q(1), 0}}), Eq, q(0));   // artificial
    add_row(p, affine({{q(1), 1}}), Le, q(-1));  // flipped: slack, artificial
    add_row(p, affine({{q(1), 1}}), Ge, q(-1));  // flipped: surplus, artificial
    LpSolver solver;
    solver.load(p);
    EXPECT_EQ(solver.solve(), LpOutcome::infeasible());
    const std::vector<ColumnLabel> expected{{0, true},     {1, true},     {1000, false}, {1001, false},
                                            {2001, false}, {2002, false}, {1003, false}, {2003, false},
                                            {1004, false}, {2004, false}};
    EXPECT_EQ(solver.labels(), expected);
}

// Phase 1 stops at once with both artificials basic at zero. Left in the basis, the first
// one would grow when x1 enters at the x1 <= 1 row, giving x1 = 1 although x0 = x1 = 0 is
// forced; driven out, the answer is the true optimum 0.
TEST(LpSolver, ArtificialsLeftAtZeroAreDrivenOut) {
    LinearProgram p = program_with_vars(2);
    set_objective(p, Sense::Maximize, affine({{q(1), 1}}));
    add_row(p, affine({{q(1), 0}, {q(-1), 1}}), Eq, q(0));
    add_row(p, affine({{q(-1), 0}}), Eq, q(0));
    add_row(p, affine({{q(1), 1}}), Le, q(1));
    EXPECT_EQ(solve(p), LpOutcome::optimal(0.0, {int_entry(0, 0), int_entry(1, 0)}));
}

TEST(LpSolver, RedundantRowKeepsItsArtificial) {
    LinearProgram p = program_with_vars(2);
    set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
    add_row(p, affine({{q(1), 0}, {q(1), 1}}), Eq, q(2));
    add_row(p, affine({{q(2), 0}, {q(2), 1}}), Eq, q(4));
    EXPECT_EQ(solve(p), LpOutcome::optimal(2.0, {int_entry(0, 2), int_entry(1, 0)}));
    LinearProgram unbounded = program_with_vars(2);
    set_objective(unbounded, Sense::Maximize, affine({{q(1), 1}}));
    add_row(unbounded, affine({{q(1), 0}, {q(-1), 1}}), Eq, q(0));
    add_row(unbounded, affine({{q(-1), 0}, {q(1), 1}}), Eq, q(0));
    EXPECT_EQ(solve(unbounded), LpOutcome::unbounded());
}

// Beale's example: minimise -3/4 x0 + 20 x1 - 1/2 x2 + 6 x3 subject to
// 1/4 x0 - 8 x1 - x2 + 9 x3 <= 0, 1/2 x0 - 12 x1 - 1/2 x2 + 3 x3 <= 0, x2 <= 1.
LinearProgram beale() {
    LinearProgram p = program_with_vars(4);
    set_objective(p, Sense::Minimize, affine({{q(-3, 4), 0}, {q(20), 1}, {q(-1, 2), 2}, {q(6), 3}}));
    add_row(p, affine({{q(1, 4), 0}, {q(-8), 1}, {q(-1), 2}, {q(9), 3}}), Le, q(0));
    add_row(p, affine({{q(1, 2), 0}, {q(-12), 1}, {q(-1, 2), 2}, {q(3), 3}}), Le, q(0));
    add_row(p, affine({{q(1), 2}}), Le, q(1));
    return p;
}

// Chvatal's cycling example: maximise 10 x0 - 57 x1 - 9 x2 - 24 x3 subject to
// 1/2 x0 - 11/2 x1 - 5/2 x2 + 9 x3 <= 0, 1/2 x0 - 3/2 x1 - 1/2 x2 + x3 <= 0, x0 <= 1.
LinearProgram chvatal() {
    LinearProgram p = program_with_vars(4);
    set_objective(p, Sense::Maximize, affine({{q(10), 0}, {q(-57), 1}, {q(-9), 2}, {q(-24), 3}}));
    add_row(p, affine({{q(1, 2), 0}, {q(-11, 2), 1}, {q(-5, 2), 2}, {q(9), 3}}), Le, q(0));
    add_row(p, affine({{q(1, 2), 0}, {q(-3, 2), 1}, {q(-1, 2), 2}, {q(1), 3}}), Le, q(0));
    add_row(p, affine({{q(1), 0}}), Le, q(1));
    return p;
}

TEST(LpSolver, CyclingExamplesReachTheirOptimum) {
    const LpOutcome beale_optimum =
        LpOutcome::optimal(-1.25, {int_entry(0, 1), int_entry(1, 0), int_entry(2, 1), int_entry(3, 0)});
    EXPECT_EQ(solve(beale()), beale_optimum);
    const LpOutcome chvatal_optimum =
        LpOutcome::optimal(1.0, {int_entry(0, 1), int_entry(1, 0), int_entry(2, 1), int_entry(3, 0)});
    EXPECT_EQ(solve(chvatal()), chvatal_optimum);

    // Without the switch to Bland's rule both would pivot for ever.
    testing::LiteralSimplex plain({.anti_cycling = false, .max_pivots = 10000});
    EXPECT_EQ(plain.solve(beale()).error.kind, SolverError::Kind::ResourceLimit);
    EXPECT_EQ(plain.solve(chvatal()).error.kind, SolverError::Kind::ResourceLimit);
}

TEST(LpSolver, CyclingInPhaseOne) {
    // Beale's rows as equalities with zero right-hand sides make phase 1 degenerate too.
    LinearProgram p = beale();
    for (Constraint& c : p.constraints)
        if (c.expr.constant.is_zero()) c.relation = Ge;
    LpSolver solver;
    solver.load(p);
    testing::LiteralSimplex literal;
    EXPECT_EQ(solver.solve(), literal.solve(p));
}

// Values beyond 64 bits are carried exactly: each program below once ended with the
// numerical issue; now it gets the answer of the literal simplex.
TEST(LpSolverWide, RatioOfALosingRow) {
    LinearProgram p = program_with_vars(1);
    set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
    add_row(p, affine({{q(1), 0}}), Le, q(1));
    add_row(p, affine({{q(1, 4000000000), 0}}), Le, q(4000000000));
    EXPECT_EQ(solve(p), LpOutcome::optimal(1.0, {{0, ModelValue::integer(1)}}));
}

TEST(LpSolverWide, NegatedRightHandSide) {
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    LinearProgram p = program_with_vars(1);
    set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
    p.constraints.push_back({affine({{q(1), 0}}, Rational::integer(min)), Le});  // x0 <= 2^63
    EXPECT_EQ(solve(p),
              LpOutcome::optimal(0x1p63, {{0, ModelValue::wide_integer("9223372036854775808", 0x1p63)}}));
}

TEST(LpSolverWide, ObjectiveRowAndReport) {
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    LinearProgram p = program_with_vars(1);
    set_objective(p, Sense::Minimize, affine({{Rational::integer(min), 0}}));
    EXPECT_EQ(solve(p), LpOutcome::unbounded());
    // Row 0's RHS is minus the objective constant when maximising.
    LinearProgram q2 = program_with_vars(1);
    set_objective(q2, Sense::Maximize, affine({{q(-1), 0}}, Rational::integer(min)));
    EXPECT_EQ(solve(q2), LpOutcome::optimal(-0x1p63, {{0, ModelValue::integer(0)}}));
}

TEST(LpSolverWide, PhaseOneRowUpdate) {
    // The phase-1 objective row sums rows whose denominators multiply beyond 64 bits.
    LinearProgram p = program_with_vars(1);
    add_row(p, affine({{q(1, 3037000500), 0}}), Ge, q(1));
    add_row(p, affine({{q(1, 3037000501), 0}}), Ge, q(1));
    testing::LiteralSimplex literal;
    const LpOutcome want = literal.solve(p);
    EXPECT_EQ(want.kind, LpOutcome::Kind::Optimal);
    EXPECT_EQ(solve(p), want);
}

TEST(LpSolverWide, ModelValueBeyond64BitsIsAWholeNumber) {
    // x0 = 10^19 * 10^19 / 1: a whole number of 127 bits, reported as Int digits.
    LinearProgram p = program_with_vars(2);
    set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
    add_row(p, affine({{q(1), 1}}), Le, Rational::integer(5000000000000000000));
    add_row(p, affine({{q(1), 0}, {Rational::integer(-5000000000000000000), 1}}), Le, q(0));
    const LpOutcome got = solve(p);
    ASSERT_EQ(got.kind, LpOutcome::Kind::Optimal);
    EXPECT_EQ(got.model.at(0).value,
              ModelValue::wide_integer("25000000000000000000000000000000000000", 2.5e37));
    EXPECT_EQ(got.objective, 2.5e37);
}

TEST(LpSolverWide, DigitBudgetStopsTheSolve) {
    // Nine-place decimals in a dense 12 x 12 program: values grow far beyond 64 bits.
    LinearProgram p = program_with_vars(12);
    set_objective(p, Sense::Maximize, affine({{q(1), 0}, {q(1), 5}, {q(1), 11}}));
    for (int i = 0; i < 12; ++i) {
        LinearExpr row;
        for (VarId j = 0; j < 12; ++j)
            row = LinearExpr::add(std::move(row),
                                  LinearExpr::term(q(1 + (i * 7 + j * 13) % 17, 1000000000 - 7 * i - j), j));
        add_row(p, std::move(row), Le, q(1 + i));
    }
    const LpOutcome unlimited = solve(p);
    EXPECT_EQ(unlimited.kind, LpOutcome::Kind::Optimal);
    linear::DigitBudget budget(256);
    EXPECT_THROW(solve(p), MemoryBudgetExceeded);
}

TEST(LpSolver, SolveWithExtraMatchesAppendedProgram) {
    LinearProgram p = program_with_vars(2);
    set_objective(p, Sense::Minimize, affine({{q(1), 0}}));
    add_row(p, affine({{q(2), 0}, {q(-2), 1}}), Eq, q(1));
    LpSolver solver;
    solver.load(p);
    std::vector<Constraint> extra;
    for (int level = 1; level <= 60; ++level) {
        const VarId v = level % 2 == 1 ? 0 : 1;
        extra.push_back(
            {LinearExpr::sub(LinearExpr::var(v), LinearExpr::from_constant(q((level + 1) / 2))), Ge});
        LinearProgram appended = p;
        appended.constraints.insert(appended.constraints.end(), extra.begin(), extra.end());
        testing::LiteralSimplex literal;
        const LpOutcome expected = literal.solve(appended);
        ASSERT_EQ(solver.solve_with(extra), expected) << level;
        EXPECT_EQ(solver.labels(), literal.labels());
    }
    EXPECT_EQ(solver.solve(), LpOutcome::optimal(0.5, {float_entry(0, 0.5), int_entry(1, 0)}));
}

// The unique-vertex shortcut answers only when the optimal face has one vertex.
struct ShortcutCase {
    const char* name;
    LinearProgram program;
    bool shortcut;
};

std::vector<ShortcutCase> shortcut_cases() {
    std::vector<ShortcutCase> cases;
    {  // (4, 0) and (0, 4) are both optimal: the simplex path picks the lower column.
        LinearProgram p = program_with_vars(2);
        set_objective(p, Sense::Maximize, affine({{q(1), 0}, {q(1), 1}}));
        add_row(p, affine({{q(1), 0}, {q(1), 1}}), Le, q(4));
        cases.push_back({"two optimal vertices", std::move(p), false});
    }
    {  // Optimal face {x0 = 1, x1 <= x2}: the vertex (1, 0, 0) plus a cone.
        LinearProgram p = program_with_vars(3);
        set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
        add_row(p, affine({{q(1), 0}}), Le, q(1));
        add_row(p, affine({{q(1), 1}, {q(-1), 2}}), Le, q(0));
        cases.push_back({"vertex plus a cone", std::move(p), true});
    }
    {  // A unique optimum with fractions, an equation and a surplus row.
        LinearProgram p = program_with_vars(3);
        set_objective(p, Sense::Minimize, affine({{q(3), 0}, {q(2), 1}, {q(4), 2}}));
        add_row(p, affine({{q(1), 0}, {q(1), 1}, {q(1), 2}}), Eq, q(10));
        add_row(p, affine({{q(2), 0}, {q(-1), 1}}), Ge, q(1, 3));
        add_row(p, affine({{q(1), 1}, {q(3), 2}}), Le, q(12));
        cases.push_back({"unique optimum", std::move(p), true});
    }
    {  // Infeasible: the shortcut has nothing to propose.
        LinearProgram p = program_with_vars(1);
        set_objective(p, Sense::Maximize, affine({{q(1), 0}}));
        add_row(p, affine({{q(1), 0}}), Le, q(-1));
        cases.push_back({"infeasible", std::move(p), false});
    }
    return cases;
}

TEST(UniqueVertexShortcut, AnswersOnlyWhenTheVertexIsUnique) {
    for (const bool screen : {true, false})
        for (const ShortcutCase& c : shortcut_cases()) {
            testing::LiteralSimplex literal;
            const LpOutcome expected = literal.solve(c.program);
            LpSolver solver;
            solver.set_unique_vertex_pivots(0);
            solver.set_unique_vertex_screening(screen);
            solver.load(c.program);
            EXPECT_EQ(solver.solve(), expected) << c.name;
            EXPECT_EQ(solver.used_unique_vertex(), c.shortcut)
                << c.name << (screen ? "" : ", exact checks only");
        }
}

}  // namespace
}  // namespace mekra::lp
