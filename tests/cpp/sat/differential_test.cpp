// The fast solver against the literal one on random formulas: same answer, same model,
// same counters, same learned clauses, same watch lists and activities at the end.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "random_cnf.hpp"
#include "reference_solver.hpp"
#include "sat/solver.hpp"

namespace {

using mekra::sat::SatSolver;

bool satisfies(const random_cnf::Clauses& clauses, const mekra::Model& model) {
    for (const auto& clause : clauses) {
        bool sat = false;
        for (std::int32_t d : clause) {
            const std::uint64_t v = static_cast<std::uint64_t>(d < 0 ? -std::int64_t{d} : d) - 1;
            if (v < model.size() && model[v].value.as_bool() == (d > 0)) sat = true;
        }
        if (!sat) return false;
    }
    return true;
}

void expect_same(const random_cnf::Clauses& clauses, std::uint64_t seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    SatSolver fast;
    reference::ReferenceSolver slow;
    for (const auto& clause : clauses) {
        fast.add_clause(clause);
        slow.add_clause(clause);
    }
    const mekra::SatOutcome outcome = fast.solve();
    const bool slow_sat = slow.solve();

    ASSERT_EQ(outcome.satisfiable, slow_sat);
    if (outcome.satisfiable) {
        ASSERT_EQ(outcome.model.size(), slow.n);
        for (std::uint64_t v = 0; v < slow.n; ++v) {
            EXPECT_EQ(outcome.model[v].index, v);
            EXPECT_EQ(outcome.model[v].value.as_bool(), slow.assignment[v] == 1);
        }
        EXPECT_TRUE(satisfies(clauses, outcome.model));
    }
    const auto& counters = fast.counters();
    EXPECT_EQ(counters.decisions, slow.decisions);
    EXPECT_EQ(counters.conflicts, slow.conflicts);
    EXPECT_EQ(counters.propagations, slow.propagations);
    EXPECT_EQ(counters.propagated, slow.propagated);

    ASSERT_EQ(fast.clauses().size(), slow.clauses.size());
    for (std::size_t c = 0; c < slow.clauses.size(); ++c) {
        const auto lits = fast.clauses().literals(static_cast<mekra::sat::ClauseIndex>(c));
        ASSERT_EQ(lits.size(), slow.clauses[c].literals.size()) << "clause " << c;
        for (std::size_t i = 0; i < lits.size(); ++i)
            EXPECT_EQ(lits[i].watch_code(), slow.clauses[c].literals[i].code()) << "clause " << c;
        EXPECT_EQ(fast.clauses().learnt(static_cast<mekra::sat::ClauseIndex>(c)), slow.clauses[c].learnt);
    }
    ASSERT_EQ(fast.watches().size(), slow.watches.size());
    for (std::size_t code = 0; code < slow.watches.size(); ++code) {
        const auto& list = fast.watches().list(static_cast<std::uint32_t>(code));
        EXPECT_EQ(std::vector<std::uint64_t>(list.begin(), list.end()), slow.watches[code])
            << "code " << code;
    }
    for (std::uint64_t v = 0; v < slow.n; ++v)
        EXPECT_EQ(fast.heuristic().activity(static_cast<mekra::sat::Var>(v)), slow.activity[v]);
    EXPECT_EQ(fast.heuristic().var_inc(), slow.var_inc);
}

struct Family {
    const char* name;
    int max_vars;
    int formulas;
};

class Differential : public ::testing::TestWithParam<Family> {};

TEST_P(Differential, FastSolverMatchesLiteralAlgorithm) {
    const Family family = GetParam();
    std::uint64_t sat = 0, conflicts = 0;
    for (int i = 0; i < family.formulas; ++i) {
        const std::uint64_t seed =
            1000003ull * static_cast<std::uint64_t>(family.max_vars) + static_cast<std::uint64_t>(i);
        std::mt19937_64 rng(seed);
        const auto clauses = random_cnf::generate(rng, family.max_vars);
        expect_same(clauses, seed);
        if (HasFailure()) return;
        SatSolver probe;
        for (const auto& clause : clauses) probe.add_clause(clause);
        sat += probe.solve().satisfiable ? 1 : 0;
        conflicts += probe.counters().conflicts;
    }
    // The families must exercise both answers and real conflict analysis.
    EXPECT_GT(sat, 0u);
    EXPECT_LT(sat, static_cast<std::uint64_t>(family.formulas));
    EXPECT_GT(conflicts, static_cast<std::uint64_t>(family.formulas / 2));
}

INSTANTIATE_TEST_SUITE_P(Random, Differential,
                         ::testing::Values(Family{"tiny", 4, 2000}, Family{"small", 10, 2000},
                                           Family{"medium", 25, 500}, Family{"larger", 60, 60}),
                         [](const auto& info) { return std::string(info.param.name); });

// Random 3-SAT near the threshold: long searches where activities grow large.
TEST(DifferentialThreeSat, HardRandomFormulasMatch) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        std::mt19937_64 rng(seed);
        const int vars = 30 + static_cast<int>(seed % 3) * 10;
        std::uniform_int_distribution<int> pick(1, vars), sign(0, 1);
        random_cnf::Clauses clauses;
        for (int k = 0; k < vars * 43 / 10; ++k) {
            std::vector<std::int32_t> clause;
            for (int i = 0; i < 3; ++i) clause.push_back(sign(rng) ? pick(rng) : -pick(rng));
            clauses.push_back(clause);
        }
        expect_same(clauses, seed);
        if (HasFailure()) return;
    }
}

// Past 13,838 conflicts var_inc is +inf and bumped activities become infinite; decisions
// then fall back to the index among them.
TEST(DifferentialPigeonhole, MatchesPastInfiniteActivities) {
    SatSolver probe;
    const auto clauses = random_cnf::pigeonhole(7, 6);
    expect_same(clauses, 0);
    for (const auto& clause : clauses) probe.add_clause(clause);
    probe.solve();
    EXPECT_GT(probe.counters().conflicts, 13838u);
    EXPECT_TRUE(std::isinf(probe.heuristic().var_inc()));
}

}  // namespace
