// The sparse, storage-reusing solver against the literal dense oracle on random programs.

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "lp/literal_simplex.hpp"
#include "lp/programs.hpp"
#include "lp/solver.hpp"

namespace mekra::lp {
namespace {

using testing::q;

class RandomPrograms {
public:
    explicit RandomPrograms(std::uint64_t seed) : rng_(seed) {}

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return uniform(1, 100) <= percent; }

    Rational coefficient(int big_percent) {
        if (chance(big_percent)) {
            // Values whose products and sums soon leave 64 bits.
            const std::int64_t big = 1000000000 + uniform(0, 1000) * 7919;
            return chance(50) ? q(uniform(1, 9) * big, uniform(1, 9)) : q(uniform(-9, 9), big);
        }
        if (chance(big_percent)) {
            // Mid-sized values: sums of products land on both sides of 64 bits.
            return q(uniform(-(1 << 20), 1 << 20), uniform(1, 1 << 12));
        }
        const int n = uniform(-5, 5);
        if (chance(70)) return q(n);
        static constexpr int dens[] = {2, 3, 4, 5, 7};
        return q(n, dens[uniform(0, 4)]);
    }

    LinearExpr expr(std::size_t n, int density, int big_percent, Rational constant) {
        LinearExpr e = LinearExpr::from_constant(constant);
        for (VarId v = 0; v < n; ++v)
            if (chance(density))
                e = LinearExpr::add(std::move(e), LinearExpr::term(coefficient(big_percent), v));
        return e;
    }

    LinearProgram program(int big_percent) {
        const std::size_t n = uniform(0, 6);
        const std::size_t m = uniform(0, 7);
        LinearProgram p = testing::program_with_vars(n);
        const int density = uniform(30, 90);
        for (std::size_t i = 0; i < m; ++i) {
            const Rational constant = chance(30) ? q(0) : q(uniform(-6, 6), uniform(1, 3));
            const Relation rel = static_cast<Relation>(uniform(0, 2));
            p.constraints.push_back({expr(n, density, big_percent, constant), rel});
        }
        if (!chance(20)) {
            const Sense sense = chance(50) ? Sense::Maximize : Sense::Minimize;
            const Rational constant = chance(70) ? q(0) : q(uniform(-9, 9), uniform(1, 4));
            testing::set_objective(p, sense, expr(n, 80, big_percent, constant));
        }
        return p;
    }

    // Many zero right-hand sides and unit coefficients: degenerate vertices everywhere.
    LinearProgram degenerate_program() {
        const std::size_t n = uniform(2, 7);
        const std::size_t m = uniform(2, 7);
        LinearProgram p = testing::program_with_vars(n);
        for (std::size_t i = 0; i < m; ++i) {
            LinearExpr e;
            for (VarId v = 0; v < n; ++v)
                if (chance(70)) e = LinearExpr::add(std::move(e), LinearExpr::term(q(uniform(-3, 3)), v));
            if (chance(20)) e.constant = q(-uniform(1, 3));
            p.constraints.push_back({std::move(e), chance(75) ? Relation::Le : Relation::Ge});
        }
        LinearExpr objective;
        for (VarId v = 0; v < n; ++v)
            objective = LinearExpr::add(std::move(objective), LinearExpr::term(q(uniform(-6, 6)), v));
        testing::set_objective(p, Sense::Maximize, std::move(objective));
        return p;
    }

    // Dense, larger programs with many pivots in both phases.
    LinearProgram dense_program(std::size_t n, std::size_t m) {
        LinearProgram p = testing::program_with_vars(n);
        const bool maximise = chance(50);
        for (std::size_t i = 0; i < m; ++i) {
            LinearExpr e = LinearExpr::from_constant(q(-uniform(10, 60)));
            for (VarId v = 0; v < n; ++v)
                e = LinearExpr::add(std::move(e), LinearExpr::term(q(uniform(0, 9)), v));
            const Relation rel = chance(15) ? Relation::Eq : maximise ? Relation::Le : Relation::Ge;
            p.constraints.push_back({std::move(e), rel});
        }
        LinearExpr objective;
        for (VarId v = 0; v < n; ++v)
            objective = LinearExpr::add(std::move(objective), LinearExpr::term(q(uniform(1, 9)), v));
        testing::set_objective(p, maximise ? Sense::Maximize : Sense::Minimize, std::move(objective));
        return p;
    }

private:
    std::mt19937_64 rng_;
};

std::string kind_name(const LpOutcome& o) { return status_text(o); }

// Solves with one long-lived solver (storage reused across programs of varying shapes) and
// checks outcome and labels against the oracle; half the time the last constraints are
// handed over as extra constraints instead of being loaded.
void expect_same(LpSolver& solver, RandomPrograms& random, const LinearProgram& p,
                 std::map<std::string, int>& seen, int index) {
    testing::LiteralSimplex literal;
    const LpOutcome expected = literal.solve(p);
    ++seen[kind_name(expected)];
    LpOutcome actual;
    if (random.chance(50) && !p.constraints.empty()) {
        const std::size_t keep = random.uniform(0, static_cast<int>(p.constraints.size()));
        LinearProgram head = p;
        head.constraints.resize(keep);
        const std::vector<Constraint> tail(p.constraints.begin() + keep, p.constraints.end());
        solver.load(head);
        actual = solver.solve_with(tail);
    } else {
        solver.load(p);
        actual = solver.solve();
    }
    ASSERT_EQ(actual, expected) << "program " << index << ": " << to_text(actual) << " vs "
                                << to_text(expected);
    ASSERT_EQ(solver.labels(), literal.labels()) << "program " << index;
}

TEST(LpDifferential, RandomProgramsMatchLiteralSimplex) {
    RandomPrograms random(20261207);
    LpSolver solver;
    std::map<std::string, int> seen;
    for (int i = 0; i < 3000; ++i) expect_same(solver, random, random.program(i % 3 == 0 ? 8 : 0), seen, i);
    for (const char* kind : {"OPTIMAL", "INFEASIBLE", "UNBOUNDED"}) EXPECT_GE(seen[kind], 50) << kind;
    EXPECT_EQ(seen["UNKNOWN (numerical issue)"], 0);
    for (const auto& [kind, count] : seen) RecordProperty(kind, count);
}

TEST(LpDifferential, LargerDenseProgramsMatchLiteralSimplex) {
    RandomPrograms random(99);
    LpSolver solver;
    std::map<std::string, int> seen;
    for (int i = 0; i < 60; ++i) {
        const std::size_t n = random.uniform(6, 14), m = random.uniform(6, 14);
        expect_same(solver, random, random.dense_program(n, m), seen, i);
    }
    for (const auto& [kind, count] : seen) RecordProperty(kind, count);
    EXPECT_GE(seen["OPTIMAL"], 20);
}

TEST(LpDifferential, DegenerateProgramsMatchLiteralSimplex) {
    RandomPrograms random(77);
    LpSolver solver;
    std::map<std::string, int> seen;
    int cycling = 0;
    for (int i = 0; i < 1500; ++i) {
        const LinearProgram p = random.degenerate_program();
        expect_same(solver, random, p, seen, i);
        testing::LiteralSimplex plain({.anti_cycling = false, .max_pivots = 300});
        if (plain.solve(p).error.kind == SolverError::Kind::ResourceLimit) ++cycling;
    }
    RecordProperty("cycling_without_bland", cycling);
}

TEST(LpDifferential, BealeVariantsMatchLiteralSimplex) {
    // Beale's cycling program with extra columns and rows, so that the switch to Bland's
    // rule happens in many different tableaux.
    RandomPrograms random(4242);
    LpSolver solver;
    std::map<std::string, int> seen;
    int cycling = 0;
    for (int i = 0; i < 300; ++i) {
        const std::size_t extra_vars = random.uniform(0, 2);
        LinearProgram p = testing::program_with_vars(4 + extra_vars);
        LinearExpr objective = testing::affine({{q(-3, 4), 0}, {q(20), 1}, {q(-1, 2), 2}, {q(6), 3}});
        for (VarId v = 4; v < 4 + extra_vars; ++v)
            objective = LinearExpr::add(std::move(objective), LinearExpr::term(q(random.uniform(0, 40)), v));
        testing::set_objective(p, Sense::Minimize, std::move(objective));
        std::vector<LinearExpr> rows{testing::affine({{q(1, 4), 0}, {q(-8), 1}, {q(-1), 2}, {q(9), 3}}),
                                     testing::affine({{q(1, 2), 0}, {q(-12), 1}, {q(-1, 2), 2}, {q(3), 3}}),
                                     testing::affine({{q(1), 2}}, q(-1))};
        for (LinearExpr& row : rows)
            for (VarId v = 4; v < 4 + extra_vars; ++v)
                row = LinearExpr::add(std::move(row), LinearExpr::term(q(random.uniform(-2, 2)), v));
        for (int extra = random.uniform(0, 2); extra > 0; --extra)
            rows.insert(rows.begin() + random.uniform(0, static_cast<int>(rows.size())),
                        random.expr(4 + extra_vars, 60, 0, random.chance(60) ? q(0) : q(-5)));
        for (LinearExpr& row : rows) p.constraints.push_back({std::move(row), Relation::Le});
        expect_same(solver, random, p, seen, i);
        testing::LiteralSimplex plain({.anti_cycling = false, .max_pivots = 300});
        if (plain.solve(p).error.kind == SolverError::Kind::ResourceLimit) ++cycling;
    }
    EXPECT_GE(cycling, 30);
}

// Paths far shorter than 100 pivots whose large values make every pivot costly: with the
// default settings the shortcut is tried by its work rule alone.
TEST(LpDifferential, ShortcutTriedByItsWorkRuleKeepsTheAnswer) {
    RandomPrograms random(4242);
    LpSolver solver;
    std::map<std::string, int> seen;
    int shortcut = 0, tried_early = 0;
    // Fractions of 20-bit numerators and 12-bit denominators: a few pivots take the values past
    // 64 bits, and they stay easy for the floating-point simplex.
    const auto mid_sized = [&] { return q(random.uniform(-(1 << 18), 1 << 20), random.uniform(1, 1 << 12)); };
    for (int i = 0; i < 40; ++i) {
        const std::size_t n = random.uniform(16, 26), m = random.uniform(16, 26);
        LinearProgram p = testing::program_with_vars(n);
        for (std::size_t row = 0; row < m; ++row) {
            LinearExpr e = LinearExpr::from_constant(q(-random.uniform(10, 60)));
            for (VarId v = 0; v < n; ++v) e = LinearExpr::add(std::move(e), LinearExpr::term(mid_sized(), v));
            p.constraints.push_back({std::move(e), random.chance(15) ? Relation::Eq : Relation::Le});
        }
        LinearExpr objective;
        for (VarId v = 0; v < n; ++v)
            objective = LinearExpr::add(std::move(objective), LinearExpr::term(mid_sized(), v));
        testing::set_objective(p, Sense::Maximize, std::move(objective));
        expect_same(solver, random, p, seen, i);
        if (solver.used_unique_vertex()) {
            ++shortcut;
            tried_early += solver.pivots() < LpSolver::UNIQUE_VERTEX_PIVOTS;
        }
    }
    for (const auto& [kind, count] : seen) RecordProperty(kind, count);
    RecordProperty("shortcut", shortcut);
    EXPECT_GE(tried_early, 5);
}

// The unique-vertex shortcut, tried on every program with a path of a few pivots: it may answer only where
// the answer is the simplex path's own, whatever basis the floating-point simplex proposes. Programs with
// several optimal vertices (ties in the objective, degenerate families) must fall back.
TEST(LpDifferential, UniqueVertexShortcutKeepsTheAnswer) {
    RandomPrograms random(3141);
    LpSolver solver;
    std::map<std::string, int> seen;
    int shortcut = 0, fell_back = 0;
    for (int i = 0; i < 3000; ++i) {
        const int kind = i % 5;
        LinearProgram p = kind == 0   ? random.program(0)
                          : kind == 1 ? random.program(8)
                          : kind == 2 ? random.degenerate_program()
                                      : random.dense_program(random.uniform(2, 9), random.uniform(2, 9));
        if (kind == 4 && p.objective) {
            // The objective parallel to a constraint: a whole face of optimal vertices.
            LinearExpr face = p.constraints.front().expr;
            face.constant = q(0);
            p.objective->expr = std::move(face);
        }
        // Before the first pivot, or part way along phase 1 or phase 2; half the time without
        // the floating-point screening, so that the exact checks see every optimum.
        solver.set_unique_vertex_pivots(i % 3 == 0 ? 0 : random.uniform(1, 4));
        solver.set_unique_vertex_screening(i % 2 == 0);
        const int optimal_before = seen["OPTIMAL"];
        expect_same(solver, random, p, seen, i);
        if (solver.used_unique_vertex())
            ++shortcut;
        else if (seen["OPTIMAL"] > optimal_before)
            ++fell_back;
    }
    RecordProperty("shortcut", shortcut);
    RecordProperty("fell_back", fell_back);
    EXPECT_GE(shortcut, 500);
    EXPECT_GE(fell_back, 150);
}

}  // namespace
}  // namespace mekra::lp
