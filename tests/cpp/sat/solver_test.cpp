// Loading rules, search examples, the variable limit, and the building blocks checked
// against their plain definitions.
#include "sat/solver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "calls/calls.hpp"
#include "random_cnf.hpp"
#include "sat/heuristics.hpp"
#include "sat/watch.hpp"

namespace {

using namespace mekra;
using sat::Literal;
using sat::SatSolver;

SatSolver loaded(const std::vector<std::vector<std::int32_t>>& clauses) {
    SatSolver solver;
    for (const auto& clause : clauses) solver.add_clause(clause);
    return solver;
}

std::vector<std::uint32_t> codes(sat::LiteralSpan literals) {
    std::vector<std::uint32_t> out;
    for (Literal l : literals) out.push_back(l.watch_code());
    return out;
}

TEST(Literal, FromDimacs) {
    EXPECT_EQ(Literal::from_dimacs(1).watch_code(), 1u);
    EXPECT_EQ(Literal::from_dimacs(-1).watch_code(), 0u);
    EXPECT_EQ(Literal::from_dimacs(3).var(), 2u);
    const Literal extreme = Literal::from_dimacs(std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(extreme.var(), 2147483647u);
    EXPECT_FALSE(extreme.positive());
    EXPECT_EQ(Literal::from_dimacs(5).negation(), Literal::from_dimacs(-5));
    EXPECT_THROW(Literal::from_dimacs(0), InvariantFailure);
}

TEST(Loading, ContradictoryUnitsStoreAnEmptyClause) {
    SatSolver solver = loaded({{1}, {-1}});
    ASSERT_EQ(solver.clauses().size(), 2u);
    EXPECT_EQ(solver.clauses().literals(1).size(), 0u);
    EXPECT_FALSE(solver.solve().satisfiable);
    EXPECT_EQ(solver.counters().propagated, 0u);  // no search
}

TEST(Loading, RepeatedUnitIsNotStored) {
    SatSolver solver = loaded({{1}, {1}});
    EXPECT_EQ(solver.clauses().size(), 1u);
    EXPECT_EQ(solver.trail().entries.size(), 1u);
    EXPECT_EQ(solver.trail().entries[0].reason, 0u);
}

TEST(Loading, DuplicateLiteralIsWatchedTwice) {
    SatSolver solver = loaded({{1, 1}});
    EXPECT_EQ(solver.watches().list(1), (std::vector<sat::ClauseIndex>{0, 0}));
}

TEST(Loading, GrowingKeepsEarlierWatches) {
    SatSolver solver = loaded({{1, 2}, {3, 4}});
    EXPECT_EQ(solver.watches().size(), 8u);
    EXPECT_EQ(solver.watches().list(1), std::vector<sat::ClauseIndex>{0});
    EXPECT_EQ(solver.watches().list(3), std::vector<sat::ClauseIndex>{0});
    EXPECT_EQ(solver.watches().list(5), std::vector<sat::ClauseIndex>{1});
    EXPECT_EQ(solver.watches().list(7), std::vector<sat::ClauseIndex>{1});
}

TEST(Loading, VariableCountComesFromTheClauses) {
    auto result = mekra::calls::solve_sat_body("p cnf 5 1\n2 0");
    ASSERT_TRUE(std::holds_alternative<SatOutcome>(result));
    EXPECT_EQ(std::get<SatOutcome>(result).model.size(), 2u);
}

struct Example {
    const char* text;
    bool satisfiable;
    std::vector<bool> model;
};

class Examples : public ::testing::TestWithParam<Example> {};

TEST_P(Examples, AnswerAsWritten) {
    const Example& example = GetParam();
    auto result = mekra::calls::solve_sat_body(example.text);
    ASSERT_TRUE(std::holds_alternative<SatOutcome>(result));
    const SatOutcome& outcome = std::get<SatOutcome>(result);
    EXPECT_EQ(outcome.satisfiable, example.satisfiable);
    std::vector<bool> model;
    for (std::size_t i = 0; i < outcome.model.size(); ++i) {
        EXPECT_EQ(outcome.model[i].index, i);
        model.push_back(outcome.model[i].value.as_bool());
    }
    EXPECT_EQ(model, example.model);
}

INSTANTIATE_TEST_SUITE_P(Search, Examples,
                         ::testing::Values(Example{"p cnf 0 0", true, {}},
                                           Example{"p cnf 1 1\n1 0", true, {true}},
                                           Example{"p cnf 1 2\n1 0\n-1 0", false, {}},
                                           Example{"p cnf 2 1\n1 2 0", true, {true, true}},
                                           Example{"p cnf 2 1\n-1 -2 0", true, {false, true}},
                                           Example{"p cnf 2 2\n-1 0\n1 2 0", true, {false, true}},
                                           Example{"p cnf 3 1\n2 0", true, {true, true}},
                                           Example{"p cnf 2 4\n1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0", false, {}},
                                           Example{"p cnf 1 1\n0", false, {}},
                                           Example{"p cnf 2 1\n1 -1 0", true, {true}}));

TEST(Search, LearnsTheClauseOfTheWrittenExample) {
    SatSolver solver = loaded({{-1, -2}});
    const SatOutcome outcome = solver.solve();
    EXPECT_TRUE(outcome.satisfiable);
    ASSERT_EQ(solver.clauses().size(), 2u);
    EXPECT_TRUE(solver.clauses().learnt(1));
    EXPECT_EQ(codes(solver.clauses().literals(1)), (std::vector<std::uint32_t>{0, 2}));  // [¬x0, ¬x1]
    EXPECT_EQ(solver.counters().decisions, 2u);
    EXPECT_EQ(solver.counters().conflicts, 1u);
    EXPECT_EQ(solver.counters().propagations, 1u);
}

using random_cnf::pigeonhole;

TEST(Search, Pigeonhole) {
    EXPECT_FALSE(loaded(pigeonhole(4, 3)).solve().satisfiable);
    EXPECT_TRUE(loaded(pigeonhole(3, 3)).solve().satisfiable);
}

TEST(Body, VariableCountBeyondTheLimitIsAMemoryRejection) {
    auto result = mekra::calls::solve_sat_body("p cnf 1 1\n-2147483648 0");
    ASSERT_TRUE(std::holds_alternative<Rejection>(result));
    const Rejection& rejection = std::get<Rejection>(result);
    EXPECT_EQ(rejection.kind, Rejection::Kind::OutOfMemory);
    EXPECT_NE(rejection.message.find("2147483648 variables"), std::string::npos) << rejection.message;

    const std::string just_over = "p cnf 1 1\n" + std::to_string(sat::MAX_VARIABLES + 1) + " 0";
    EXPECT_TRUE(std::holds_alternative<Rejection>(mekra::calls::solve_sat_body(just_over)));
}

TEST(Body, ReaderMessageIsBadInput) {
    auto result = mekra::calls::solve_sat_body("p cnf 1 1\n1 x 0");
    ASSERT_TRUE(std::holds_alternative<Rejection>(result));
    EXPECT_EQ(std::get<Rejection>(result), Rejection::bad_input("line 2: invalid literal 'x'"));
}

// remove_walked against one remove_first per element, on lists where clauses occur once or
// twice: the walked prefix moves away whole, or (as with skipped clauses) only in part.
TEST(Watches, ReplayedRemovalsMatchOneByOne) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<sat::ClauseIndex> list;
        const int distinct = 1 + static_cast<int>(rng() % 12);
        for (int c = 0; c < distinct; ++c) {
            list.push_back(static_cast<sat::ClauseIndex>(c * 3));
            if (rng() % 3 == 0) list.push_back(static_cast<sat::ClauseIndex>(c * 3));
        }
        std::shuffle(list.begin(), list.end(), rng);
        const std::size_t walked = rng() % (list.size() + 1);
        const bool partly = rng() % 4 == 0;
        std::vector<sat::ClauseIndex> removed;
        for (std::size_t j = 0; j < walked; ++j)
            if (!partly || rng() % 2) removed.push_back(list[j]);

        sat::Watches fast, slow;
        fast.grow(2);
        slow.grow(2);
        for (auto c : list) {
            fast.append(1, c);
            slow.append(1, c);
        }
        fast.remove_walked(1, walked, removed);
        for (auto c : removed) slow.remove_first(1, c);
        ASSERT_EQ(fast.list(1), slow.list(1)) << "round " << round;
        const std::vector<sat::ClauseIndex> rest = fast.list(1);
        fast.remove_walked(1, rest.size(), rest);  // work space left clean: reusable
        EXPECT_TRUE(fast.list(1).empty());
    }
}

// The heap's first variable is the one the written scan picks, also once activities are
// infinite (infinities compare equal, so the higher index wins).
TEST(ActivityHeuristic, HeapOrderIsTheDecisionScan) {
    std::mt19937_64 rng(11);
    const std::size_t n = 40;
    sat::ActivityHeuristic heuristic;
    heuristic.grow(n);
    heuristic.build_heap();
    std::vector<bool> assigned(n, false);
    for (int step = 0; step < 40000; ++step) {
        for (int b = 0; b < 3; ++b) heuristic.bump(static_cast<sat::Var>(rng() % 7 * 5 % n));
        heuristic.decay_step();
        // The written scan over unassigned variables.
        std::size_t candidate = n;
        for (std::size_t i = 0; i < n; ++i)
            if (!assigned[i] && (candidate == n || !(heuristic.activity(static_cast<sat::Var>(candidate)) >
                                                     heuristic.activity(static_cast<sat::Var>(i)))))
                candidate = i;
        if (candidate == n || rng() % 3 == 0) {
            for (std::size_t i = 0; i < n; ++i)
                if (assigned[i] && rng() % 2) {
                    assigned[i] = false;
                    heuristic.insert(static_cast<sat::Var>(i));
                }
            continue;
        }
        sat::Var chosen = heuristic.pop_first();
        while (assigned[chosen]) chosen = heuristic.pop_first();
        ASSERT_EQ(chosen, candidate) << "step " << step;
        assigned[chosen] = true;
    }
    EXPECT_TRUE(std::isinf(heuristic.var_inc()));
}

}  // namespace
