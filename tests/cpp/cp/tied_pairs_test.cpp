// Models that tie two variables equal and then set them apart are refuted before search,
// whatever the domains; models where a tie and a difference leave a solution keep the written
// search's answer.

#include <gtest/gtest.h>

#include <string>

#include "calls/calls.hpp"
#include "cp/propagator.hpp"
#include "cp/reader.hpp"
#include "literal_cp.hpp"

namespace {

using namespace mekra::cp;

constexpr const char* WIDE = " 0 1000000000000\n";

bool certainly_infeasible(const std::string& text) {
    auto read = parse_cp_model(text);
    if (auto* message = std::get_if<std::string>(&read)) {
        ADD_FAILURE() << *message;
        return false;
    }
    return CpStore(std::get<CpModel>(read)).certainly_infeasible();
}

// Each way of stating x = y.
const char* const TIES[] = {
    "eq x y\n",
    "eq y x\n",
    "linear 1 x -1 y 0 eq\n",
    "linear -1 x 1 y 0 eq\n",
    "linear 3 x -3 y 0 le\nlinear 3 x -3 y 0 ge\n",
    "le x y 0\nle y x 0\n",
    "le x y 0\nlinear 1 y -1 x 0 le\n",
    "linear 2 x -1 x -1 y 0 eq\n",                    // merges to x - y = 0
    "linear 2 x -2 y 1 le\nlinear 2 x -2 y -1 ge\n",  // |x - y| <= 1/2 in integers
};

// Each way of setting x and y apart, with z beside them.
const char* const APART[] = {
    "neq x y\n", "neq y x\n", "allDiff x y\n", "alldifferent z y x\n", "allDiff x z y z\n",
};

class TiedApart : public testing::TestWithParam<std::tuple<const char*, const char*>> {};

TEST_P(TiedApart, IsRefutedBeforeSearch) {
    const auto& [tie, apart] = GetParam();
    std::string text = std::string("var x") + WIDE + "var y" + WIDE + "var z" + WIDE + tie + apart;
    EXPECT_TRUE(certainly_infeasible(text)) << text;
}

INSTANTIATE_TEST_SUITE_P(EachWay, TiedApart,
                         testing::Combine(testing::ValuesIn(TIES), testing::ValuesIn(APART)));

TEST(Ties, SameVariableTwice) {
    for (const char* apart : {"neq x x\n", "allDiff x y x\n", "alldifferent y x z x\n"}) {
        std::string text = std::string("var x") + WIDE + "var y" + WIDE + "var z" + WIDE + apart;
        EXPECT_TRUE(certainly_infeasible(text)) << text;
    }
}

TEST(Ties, ChainsOfMixedTies) {
    // v0 = v1 by eq, v1 = v2 by offset, v2 = v3 by le both ways, ... ; the ends set apart
    const char* links[] = {"eq {a} {b}\n", "linear 1 {a} -1 {b} 0 eq\n", "le {a} {b} 0\nle {b} {a} 0\n"};
    for (int length : {2, 5, 40}) {
        std::string text;
        for (int i = 0; i <= length; ++i) text += "var v" + std::to_string(i) + WIDE;
        for (int i = 0; i < length; ++i) {
            std::string link = links[i % 3];
            for (auto [key, name] :
                 {std::pair{"{a}", "v" + std::to_string(i)}, {"{b}", "v" + std::to_string(i + 1)}}) {
                for (std::size_t at; (at = link.find(key)) != std::string::npos;) link.replace(at, 3, name);
            }
            text += link;
        }
        EXPECT_TRUE(certainly_infeasible(text + "neq v0 v" + std::to_string(length) + "\n")) << text;
        EXPECT_TRUE(certainly_infeasible(text + "allDiff v" + std::to_string(length / 2) + " v0\n")) << text;
    }
    // a ring of le with zero constants ties every member
    EXPECT_TRUE(certainly_infeasible(std::string("var a") + WIDE + "var b" + WIDE + "var c" + WIDE +
                                     "le a b 0\nle b c 0\nle c a 0\nneq a c\n"));
}

// A tie and a difference that leave a solution: no shortcut, and the call gives the written
// search's answer.
TEST(Ties, SolvableModelsKeepTheWrittenAnswer) {
    const char* texts[] = {
        "var x 0 5\nvar y 0 5\nvar z 0 5\neq x y\nneq x z\n",
        "var x 0 5\nvar y 0 5\nvar z 0 5\nle x y 0\nneq x y\n",   // one way only
        "var x 0 5\nvar y 0 5\nlinear 1 x -1 y 1 eq\nneq x y\n",  // offset 1
        "var x 0 5\nvar y 0 5\nle x y 1\nle y x 0\nneq x y\n",    // y <= x <= y + 1
        "var x 0 5\nvar y 0 5\nlinear 1 x 1 y 4 eq\nneq x y\n",   // x + y, not x - y
        "var x 0 5\nvar y 0 5\nvar z 0 5\neq x y\nallDiff x z\nallDiff y z\n",
        "var x 0 3\nvar y 0 3\nvar z 0 3\nvar w 0 3\neq x y\nlinear 1 z -1 w 0 eq\nallDiff x z\n",
        "var x 0 9\nvar y 0 9\nlinear 1 x -1 y 0 le\nlinear 1 x 1 y 8 eq\nneq x y\n",
        "var x 4 4\nvar y 0 9\nvar z 4 4\neq x z\nneq x y\nneq z y\n",
    };
    for (const char* text : texts) {
        EXPECT_FALSE(certainly_infeasible(text)) << text;
        auto expected = literal_cp::solve(text);
        auto actual = mekra::calls::solve_cp_text_body(text);
        ASSERT_TRUE(std::holds_alternative<mekra::CpOutcome>(expected)) << text;
        ASSERT_TRUE(std::holds_alternative<mekra::CpOutcome>(actual)) << text;
        EXPECT_EQ(std::get<mekra::CpOutcome>(actual), std::get<mekra::CpOutcome>(expected)) << text;
    }
}

}  // namespace
