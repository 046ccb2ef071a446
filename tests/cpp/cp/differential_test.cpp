// The solver against the plain written algorithm (literal_cp.hpp) on random small models:
// the same fixpoints and failures from propagation, the same answer and model from a call,
// and every model checked against its constraints.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "calls/calls.hpp"
#include "cp/propagator.hpp"
#include "cp/search.hpp"
#include "literal_cp.hpp"

namespace {

using namespace mekra::cp;

class ModelGenerator {
public:
    explicit ModelGenerator(std::uint64_t seed) : rng_(seed) {}

    // vars: up to that many variables; width: largest domain width; empty: may declare empty
    // domains; extremes: may use values at the ends of the 64-bit range.
    std::string model(int vars, int width, bool empty, bool extremes, int most_constraints = 6) {
        std::string text;
        const int n = 1 + pick(vars);
        for (int i = 0; i < n; ++i) {
            std::int64_t lo = range(-4, 4), hi = lo + pick(width + 1);
            if (extremes && pick(5) == 0) {
                if (pick(2) == 0) {
                    hi = INT64_MAX, lo = hi - pick(width + 1);
                } else {
                    lo = INT64_MIN, hi = lo + pick(width + 1);
                }
            }
            if (empty && pick(20) == 0 && lo > INT64_MIN + 2) hi = lo - 1 - pick(2);
            text += std::string("var v") + std::to_string(i) + ' ' + std::to_string(lo) + ' ' +
                    std::to_string(hi) + '\n';
        }
        const int constraints = pick(most_constraints + 1);
        for (int c = 0; c < constraints; ++c) {
            auto var = [&] { return std::string(" v") + std::to_string(pick(n)); };
            auto number = [&](int small) {
                if (extremes && pick(8) == 0) {
                    static const std::int64_t ends[] = {INT64_MIN, INT64_MIN + 1, INT64_MAX, INT64_MAX - 1};
                    return ' ' + std::to_string(ends[pick(4)]);
                }
                return ' ' + std::to_string(range(-small, small));
            };
            switch (pick(7)) {
                case 6:  // offset form a - b = c
                    if (pick(2) == 0) {
                        text += std::string("linear 1") + var() + std::string(" -1") + var();
                    } else {
                        text += std::string("linear -1") + var() + std::string(" 1") + var();
                    }
                    text += number(3) + std::string(" eq");
                    break;
                case 0:
                    text += std::string("eq") + var() + var();
                    break;
                case 1:
                    text += std::string("neq") + var() + var();
                    break;
                case 2:
                    text += std::string("lt") + var() + var();
                    break;
                case 3:
                    text += std::string("le") + var() + var() + number(3);
                    break;
                case 4: {
                    text += "linear";
                    const int terms = 1 + pick(4);
                    for (int t = 0; t < terms; ++t) text += number(4) + var();
                    static const char* relations[] = {" le", " eq", " ge"};
                    text += number(12) + relations[pick(3)];
                    break;
                }
                default: {
                    text += pick(2) == 0 ? "allDiff" : "alldifferent";
                    const int k = 2 + pick(3);
                    for (int t = 0; t < k; ++t) text += var();
                }
            }
            text += "\n";
        }
        return text;
    }

    int pick(int bound) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(bound)); }
    std::int64_t range(std::int64_t lo, std::int64_t hi) { return lo + pick(static_cast<int>(hi - lo + 1)); }

private:
    std::mt19937_64 rng_;
};

std::vector<std::int64_t> values_of(const mekra::Model& model) {
    std::vector<std::int64_t> values;
    for (const auto& entry : model) values.push_back(entry.value.as_int());
    return values;
}

struct Tally {
    int compared = 0, skipped = 0, sat = 0, unsat = 0;
};

// One whole call, both ways.
void compare_calls(const std::string& text, Tally& tally) {
    std::variant<mekra::CpOutcome, std::string> expected;
    try {
        expected = literal_cp::solve(text);
    } catch (const literal_cp::LiteralOverflow&) {
        ++tally.skipped;
        return;
    }
    auto actual = mekra::calls::solve_cp_text_body(text);
    ++tally.compared;
    if (auto* message = std::get_if<std::string>(&expected)) {
        auto* rejection = std::get_if<mekra::Rejection>(&actual);
        ASSERT_NE(rejection, nullptr) << text;
        EXPECT_EQ(rejection->message, *message);
        return;
    }
    const auto& want = std::get<mekra::CpOutcome>(expected);
    auto* got = std::get_if<mekra::CpOutcome>(&actual);
    ASSERT_NE(got, nullptr) << text;
    ASSERT_EQ(got->has_value(), want.has_value()) << text;
    if (!want) {
        ++tally.unsat;
        return;
    }
    ++tally.sat;
    EXPECT_EQ(**got, *want) << text;
    const auto model = std::get<CpModel>(parse_cp_model(text));
    EXPECT_TRUE(literal_cp::satisfies(model.constraints, values_of(**got))) << text;
    for (std::size_t i = 0; i < model.variables.size(); ++i) {
        EXPECT_GE((**got)[i].value.as_int(), model.variables[i].min);
        EXPECT_LE((**got)[i].value.as_int(), model.variables[i].max);
    }
}

TEST(Differential, SmallModelsGiveTheWrittenAnswers) {
    ModelGenerator gen(20261207);
    Tally tally;
    for (int round = 0; round < 6000; ++round) {
        std::string text = gen.model(5, 4, true, round % 4 == 0);
        compare_calls(text, tally);
        if (testing::Test::HasFailure()) return;
    }
    EXPECT_GT(tally.sat, 1000);
    EXPECT_GT(tally.unsat, 1000);
    EXPECT_LT(tally.skipped, 300);
    std::printf("small: %d compared, %d SAT, %d UNSAT, %d skipped\n", tally.compared, tally.sat, tally.unsat,
                tally.skipped);
}

TEST(Differential, SearchHeavyModelsGiveTheWrittenAnswers) {
    ModelGenerator gen(99);
    Tally tally;
    for (int round = 0; round < 1000; ++round) {
        std::string text = gen.model(8, 3, false, false, 9);
        compare_calls(text, tally);
        if (testing::Test::HasFailure()) return;
    }
    EXPECT_GT(tally.sat, 100);
    EXPECT_GT(tally.unsat, 100);
    std::printf("search-heavy: %d compared, %d SAT, %d UNSAT, %d skipped\n", tally.compared, tally.sat,
                tally.unsat, tally.skipped);
}

// Propagation from random states (non-empty domains, as search produces them): the queue
// reaches the full passes' fixpoint, or fails exactly when they fail.
TEST(Differential, PropagationReachesTheSameFixpoint) {
    ModelGenerator gen(4242);
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = gen.model(6, 6, false, round % 3 == 0);
        const auto model = std::get<CpModel>(parse_cp_model(text));
        CpStore fast(model);
        literal_cp::Store plain = literal_cp::make_store(model);
        for (int step = 0; step < 4; ++step) {
            // narrow a few domains to random non-empty sub-intervals
            for (std::size_t v = 0; v < fast.size(); ++v) {
                if (gen.pick(3) != 0) continue;
                Domain d = fast.domain(v);
                if (d.lo >= d.hi) continue;
                std::uint64_t width = static_cast<std::uint64_t>(d.hi) - static_cast<std::uint64_t>(d.lo);
                std::uint64_t a = static_cast<std::uint64_t>(gen.pick(1000)) % (width + 1);
                std::uint64_t b = a + static_cast<std::uint64_t>(gen.pick(1000)) % (width - a + 1);
                Domain narrowed{static_cast<std::int64_t>(static_cast<std::uint64_t>(d.lo) + a),
                                static_cast<std::int64_t>(static_cast<std::uint64_t>(d.lo) + b)};
                fast.set_domain(v, narrowed);
                plain.d[v] = {narrowed.lo, narrowed.hi};
            }
            bool expected;
            try {
                expected = literal_cp::propagate(plain);
            } catch (const literal_cp::LiteralOverflow&) {
                break;
            }
            bool actual = propagate(fast);
            ++compared;
            ASSERT_EQ(actual, expected) << text;
            if (!expected) break;
            for (std::size_t v = 0; v < fast.size(); ++v) {
                ASSERT_EQ(static_cast<literal_cp::I128>(fast.domain(v).lo), plain.d[v].lo)
                    << text << " var " << v;
                ASSERT_EQ(static_cast<literal_cp::I128>(fast.domain(v).hi), plain.d[v].hi)
                    << text << " var " << v;
            }
        }
    }
    EXPECT_GT(compared, 7000);
}

}  // namespace
