#include "cp/reader.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

namespace {

using namespace mekra::cp;

CpModel read_ok(std::string_view text) {
    auto result = parse_cp_model(text);
    if (auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << "unexpected message: " << *message;
        return {};
    }
    return std::get<CpModel>(result);
}

std::string read_message(std::string_view text) {
    auto result = parse_cp_model(text);
    if (auto* message = std::get_if<std::string>(&result)) return *message;
    ADD_FAILURE() << "text was accepted: " << text;
    return {};
}

TEST(CpFormat, EmptyAndCommentOnlyTextsGiveAnEmptyModel) {
    for (std::string_view text : {"", "\n", "# c\n\n// d\n   \t\n", "#\r\n//"}) {
        EXPECT_EQ(read_ok(text), CpModel{}) << text;
    }
}

TEST(CpFormat, ReadsEveryKind) {
    CpModel m = read_ok(
        "var x 0 9\r\n"
        "  var y -3 +4  \n"
        "eq x y\nneq x y\nlt x y\nle x y -2\n"
        "linear 2 x 3 y 10 le\nlinear -1 x 5 ge\nlinear 1 x 1 x 4 eq\n"
        "allDiff x y x\nalldifferent y x\n");
    ASSERT_EQ(m.variables.size(), 2u);
    EXPECT_EQ(m.variables[1], (CpVariable{"y", -3, 4}));
    ASSERT_EQ(m.constraints.size(), 9u);
    EXPECT_EQ(m.constraints[0], CpConstraint(Eq{0, 1}));
    EXPECT_EQ(m.constraints[1], CpConstraint(Neq{0, 1}));
    EXPECT_EQ(m.constraints[2], CpConstraint(Lt{0, 1}));
    EXPECT_EQ(m.constraints[3], CpConstraint(Le{0, 1, -2}));
    EXPECT_EQ(m.constraints[4], CpConstraint(Linear{{{2, 0}, {3, 1}}, 10, LinearRelation::Le}));
    EXPECT_EQ(m.constraints[5], CpConstraint(Linear{{{-1, 0}}, 5, LinearRelation::Ge}));
    // terms on one variable are kept as written
    EXPECT_EQ(m.constraints[6], CpConstraint(Linear{{{1, 0}, {1, 0}}, 4, LinearRelation::Eq}));
    EXPECT_EQ(m.constraints[7], CpConstraint(AllDiff{{0, 1, 0}}));
    EXPECT_EQ(m.constraints[8], CpConstraint(AllDiff{{1, 0}}));
}

TEST(CpFormat, ExtraTokensAreIgnored) {
    CpModel m = read_ok("var x 0 9 # note\nvar y 0 1\nvar z 0 1\neq x y z\nlinear 1 x 5 le extra\n");
    EXPECT_EQ(m.variables[0], (CpVariable{"x", 0, 9}));
    EXPECT_EQ(m.constraints[0], CpConstraint(Eq{0, 1}));
    EXPECT_EQ(m.constraints[1], CpConstraint(Linear{{{1, 0}}, 5, LinearRelation::Le}));
}

TEST(CpFormat, RedeclaredNameRefersToTheLatestVariable) {
    CpModel m = read_ok("var x 0 3\nvar x 0 3\neq x x\n");
    ASSERT_EQ(m.variables.size(), 2u);
    EXPECT_EQ(m.constraints[0], CpConstraint(Eq{1, 1}));
}

TEST(CpFormat, NumbersAndNames) {
    CpModel m = read_ok(
        "var x 5 3\nvar v -9223372036854775808 9223372036854775807\nvar le 0 1\nvar 12 007 +0\n"
        "le le x 0\n");
    EXPECT_EQ(m.variables[0], (CpVariable{"x", 5, 3}));
    EXPECT_EQ(m.variables[1], (CpVariable{"v", INT64_MIN, INT64_MAX}));
    EXPECT_EQ(m.variables[3], (CpVariable{"12", 7, 0}));
    EXPECT_EQ(m.constraints[0], CpConstraint(Le{2, 0, 0}));
}

struct MessageCase {
    const char* text;
    const char* message;
    friend void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.text; }
};

class CpFormatMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(CpFormatMessage, IsExact) { EXPECT_EQ(read_message(GetParam().text), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Cases, CpFormatMessage,
    testing::Values(MessageCase{"# c\n\nfoo", "line 3: unknown keyword 'foo'"},
                    MessageCase{"AllDiff x y", "line 1: unknown keyword 'AllDiff'"},
                    MessageCase{"VAR x 0 1", "line 1: unknown keyword 'VAR'"},
                    MessageCase{"var x 0", "line 1: var needs name, min, max"},
                    MessageCase{"var x 0 5a", "line 1: bad max"}, MessageCase{"var x - 5", "line 1: bad min"},
                    MessageCase{"var x 0 9223372036854775808", "line 1: bad max"},
                    MessageCase{"var x -9223372036854775809 0", "line 1: bad min"},
                    MessageCase{"var x ++1 0", "line 1: bad min"},
                    MessageCase{"var x 0 1\nvar y 0 1\nalldifferent x", "allDiff needs \u2265 2 vars"},
                    MessageCase{"allDiff", "allDiff needs \xE2\x89\xA5 2 vars"},
                    MessageCase{"eq x", "eq needs 2 vars"}, MessageCase{"neq x", "neq needs 2 vars"},
                    MessageCase{"lt", "lt needs 2 vars"},
                    MessageCase{"var x 0 1\nvar y 0 1\nle x y", "le needs 2 vars + c"},
                    MessageCase{"var x 0 1\nvar y 0 1\nle x y z", "bad c"},
                    MessageCase{"le x y z", "line 1: unknown variable 'x'"},
                    MessageCase{"var y 0 1\neq x y", "line 2: unknown variable 'x'"},
                    MessageCase{"var x 0 1\neq x y\nvar y 0 1", "line 2: unknown variable 'y'"},
                    MessageCase{"linear 1 x 5", "linear: need at least coeff var rhs rel"},
                    MessageCase{"var x 0 1\nlinear 1 x 2 5 le", "linear: expected le/eq/ge"},
                    MessageCase{"var x 0 1\nlinear 1 x 5 LE", "linear: expected le/eq/ge"},
                    MessageCase{"var x 0 1\nlinear 1x x 5 le", "bad coeff"},
                    MessageCase{"var x 0 1\nlinear 1 x 5e le", "bad rhs"},
                    MessageCase{"var x 0 1\nlinear 1 x 2 y 5 le", "line 2: unknown variable 'y'"},
                    MessageCase{"var x 0 1\nallDiff x q x", "line 2: unknown variable 'q'"},
                    MessageCase{"var x 0 1\r\n\r\nbar 1", "line 3: unknown keyword 'bar'"}));

// Arbitrary bytes, including CP keywords and white space, never crash the reader.
TEST(CpFormat, RandomTextNeverCrashes) {
    std::mt19937_64 rng(7);
    const std::vector<std::string> pieces = {"var ",     "x ",
                                             "y ",       "eq ",
                                             "neq ",     "lt ",
                                             "le ",      "linear ",
                                             "allDiff ", "alldifferent ",
                                             "0 ",       "-1 ",
                                             "+",        "9223372036854775808 ",
                                             "\n",       "\r\n",
                                             "#",        "//",
                                             "\xC2\xA0", "\xE2\x80\x80",
                                             "le",       "ge ",
                                             "eq\n"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int n = static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            if (rng() % 4 == 0) {
                text += static_cast<char>(rng() % 256);
            } else {
                text += pieces[rng() % pieces.size()];
            }
        }
        auto result = parse_cp_model(text);
        if (auto* message = std::get_if<std::string>(&result)) {
            EXPECT_FALSE(message->empty());
        }
    }
}

}  // namespace
