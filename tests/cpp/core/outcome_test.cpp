#include "core/outcome.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/invariant.hpp"

using namespace mekra;

namespace {

Model floats(std::initializer_list<double> values) {
    Model model;
    std::uint64_t index = 0;
    for (double v : values) model.push_back({index++, ModelValue::floating(v)});
    return model;
}

}  // namespace

TEST(ModelText, WritesEachKind) {
    Model model = {{0, ModelValue::boolean(true)},
                   {1, ModelValue::boolean(false)},
                   {2, ModelValue::integer(-7)},
                   {12, ModelValue::integer(INT64_MIN)}};
    EXPECT_EQ(model_text(model), "Model: [x0 -> true, x1 -> false, x2 -> -7, x12 -> -9223372036854775808]");
    EXPECT_EQ(model_text({}), "Model: []");
}

struct FloatCase {
    double value;
    const char* text;
};

class FloatText : public testing::TestWithParam<FloatCase> {};

TEST_P(FloatText, IsShortestRoundTripWithoutExponent) {
    EXPECT_EQ(model_text(floats({GetParam().value})), std::string("Model: [x0 -> ") + GetParam().text + "]");
}

INSTANTIATE_TEST_SUITE_P(Values, FloatText,
                         testing::Values(FloatCase{2.0, "2"}, FloatCase{0.5, "0.5"},
                                         FloatCase{1e-7, "0.0000001"}, FloatCase{-2.5, "-2.5"},
                                         FloatCase{1.0 / 3.0, "0.3333333333333333"},
                                         FloatCase{1e21, "1000000000000000000000"}, FloatCase{0.1, "0.1"},
                                         FloatCase{-0.0, "-0"}, FloatCase{123456.789, "123456.789"}));

TEST(FloatText, ReadsBackToTheSameDouble) {
    for (double v : {5e-324, 1.0 / 7.0, 2.0 / 3.0, 1e-300, 1.7976931348623157e308, 9007199254740993.0}) {
        std::string text = model_text(floats({v}));
        std::string digits = text.substr(text.find("-> ") + 3);
        digits.pop_back();
        EXPECT_EQ(std::strtod(digits.c_str(), nullptr), v) << digits;
        EXPECT_EQ(digits.find('e'), std::string::npos);
    }
}

TEST(SolverErrorText, EveryKind) {
    using K = SolverError::Kind;
    EXPECT_EQ(to_text(SolverError{K::Unsupported, {}}), "unsupported");
    EXPECT_EQ(to_text(SolverError{K::Undecidable, {}}), "undecidable");
    EXPECT_EQ(to_text(SolverError{K::NumericalIssue, {}}), "numerical issue");
    EXPECT_EQ(to_text(SolverError{K::ResourceLimit, {}}), "resource limit");
    EXPECT_EQ(to_text(SolverError{K::IncompleteAlgorithm, {}}), "incomplete algorithm");
    EXPECT_EQ(to_text(SolverError::internal("no system loaded")), "internal: no system loaded");
}

TEST(LpOutcomeText, EveryVariant) {
    Model model = {{0, ModelValue::integer(4)}, {1, ModelValue::floating(0.5)}};
    EXPECT_EQ(to_text(LpOutcome::optimal(12.0, model)), "OPTIMAL (obj=12)\nModel: [x0 -> 4, x1 -> 0.5]");
    EXPECT_EQ(to_text(LpOutcome::optimal(1.5, {})), "OPTIMAL (obj=1.5)\nModel: []");
    EXPECT_EQ(to_text(LpOutcome::feasible(model)), "FEASIBLE\nModel: [x0 -> 4, x1 -> 0.5]");
    EXPECT_EQ(to_text(LpOutcome::infeasible()), "INFEASIBLE");
    EXPECT_EQ(to_text(LpOutcome::unbounded()), "UNBOUNDED");
    EXPECT_EQ(to_text(LpOutcome::unknown({SolverError::Kind::NumericalIssue, {}})),
              "UNKNOWN (numerical issue)");
    EXPECT_EQ(to_text(LpOutcome::unknown(SolverError::internal("m"))), "UNKNOWN (internal: m)");
}

TEST(LpOutcomeStatus, MatchesTheDictionaryStatus) {
    EXPECT_EQ(status_text(LpOutcome::optimal(1, {})), "OPTIMAL");
    EXPECT_EQ(status_text(LpOutcome::feasible({})), "FEASIBLE");
    EXPECT_EQ(status_text(LpOutcome::unknown({SolverError::Kind::ResourceLimit, {}})),
              "UNKNOWN (resource limit)");
}

TEST(Invariant, CarriesMessageAndLocation) {
    try {
        check_invariant(false, "pivot value is zero");
        FAIL() << "no exception";
    } catch (const InvariantFailure& failure) {
        EXPECT_STREQ(failure.what(), "pivot value is zero");
        EXPECT_NE(std::string(failure.where().file_name()).find("outcome_test.cpp"), std::string::npos);
    }
    EXPECT_NO_THROW(check_invariant(true, "unused"));
}
