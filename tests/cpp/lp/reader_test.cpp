#include "lp/reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace mekra::lp {
namespace {

Rational q(std::int64_t n, std::int64_t d = 1) { return Rational::make(n, d); }

LinearExpr expr(std::vector<Term> terms, Rational constant = Rational()) {
    return LinearExpr{std::move(terms), constant};
}

}  // namespace

void PrintTo(const LinearExpr& e, std::ostream* os) {
    for (const Term& t : e.terms) *os << t.coefficient.to_string() << "*x" << t.var << " + ";
    *os << e.constant.to_string();
}

namespace {

LinearProgram read_ok(std::string_view text) {
    LpReadResult r = parse_lp(text);
    if (auto* message = std::get_if<std::string>(&r)) ADD_FAILURE() << "message: " << *message;
    if (auto* program = std::get_if<LinearProgram>(&r)) return *program;
    return LinearProgram{};
}

std::string read_message(std::string_view text) {
    LpReadResult r = parse_lp(text);
    if (auto* message = std::get_if<std::string>(&r)) return *message;
    ADD_FAILURE() << "no message for: " << text;
    return "";
}

// The constant of the objective, or of the first constraint without one, as exact text.
std::string first_constant(std::string_view text) {
    LinearProgram p = read_ok(text);
    return p.objective ? p.objective->expr.constant.to_string()
                       : p.constraints.at(0).expr.constant.to_string();
}

TEST(LpFormatTest, ReadmeExample) {
    LinearProgram p = read_ok("max 3*x0 + 2*x1\nx0 + x1 <= 4\nx0 + 3*x1 <= 6\nend\n");
    ASSERT_TRUE(p.objective);
    EXPECT_EQ(p.objective->sense, Sense::Maximize);
    EXPECT_EQ(p.objective->expr, expr({{q(3), 0}, {q(2), 1}}));
    ASSERT_EQ(p.constraints.size(), 2u);
    EXPECT_EQ(p.constraints[0], (Constraint{expr({{q(1), 0}, {q(1), 1}}, q(-4)), Relation::Le}));
    EXPECT_EQ(p.constraints[1], (Constraint{expr({{q(1), 0}, {q(3), 1}}, q(-6)), Relation::Le}));
    EXPECT_EQ(p.variables, (std::vector<VarId>{0, 1}));
    EXPECT_EQ(p.var_info, (std::vector<VarInfo>{{0, false}, {1, false}}));
    EXPECT_EQ(p.next_var, 2u);
}

struct ConstraintCase {
    const char* text;
    LinearExpr expr;
    Relation relation;
    VarId variables;
    friend void PrintTo(const ConstraintCase& c, std::ostream* os) { *os << c.text; }
};

class ConstraintLineTest : public ::testing::TestWithParam<ConstraintCase> {};

TEST_P(ConstraintLineTest, Reads) {
    const ConstraintCase& c = GetParam();
    LinearProgram p = read_ok(c.text);
    ASSERT_EQ(p.constraints.size(), 1u);
    EXPECT_EQ(p.constraints[0].expr, c.expr);
    EXPECT_EQ(p.constraints[0].relation, c.relation);
    EXPECT_EQ(p.next_var, c.variables);
    EXPECT_FALSE(p.objective);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ConstraintLineTest,
    ::testing::Values(
        ConstraintCase{"x0 + 2 <= 5", expr({{q(1), 0}}, q(-3)), Relation::Le, 1},
        ConstraintCase{"x0 >= -1.5", expr({{q(1), 0}}, q(3, 2)), Relation::Ge, 1},
        ConstraintCase{"x0 = 0.1;", expr({{q(1), 0}}, q(-1, 10)), Relation::Eq, 1},
        ConstraintCase{"2*x0 + 1/4 - 0.5 <= 3", expr({{q(2), 0}}, q(-13, 4)), Relation::Le, 1},
        ConstraintCase{"-3/4 <= 0", expr({}, q(-3, 4)), Relation::Le, 0},
        ConstraintCase{"x0 - x0 + 1 >= 0", expr({}, q(1)), Relation::Ge, 1},
        ConstraintCase{"2x0 <= 3", expr({{q(1), 0}}, q(-3)), Relation::Le, 1},
        ConstraintCase{"1e3*x0 <= 1", expr({{q(1000), 0}}, q(-1)), Relation::Le, 1},
        ConstraintCase{"1e3 <= 1", expr({{q(1), 0}}, q(-1)), Relation::Le, 1},
        ConstraintCase{"1e-3 <= 1", expr({{q(1), 0}}, q(-4)), Relation::Le, 1},
        // "x 0" is a name of its own: it creates variable 0 rather than finding it.
        ConstraintCase{"x 0 <= 1", expr({{q(1), 0}}, q(-1)), Relation::Le, 1},
        ConstraintCase{"x0 + x 0 <= 1", expr({{q(1), 0}, {q(1), 1}}, q(-1)), Relation::Le, 2},
        ConstraintCase{"x0 + x\t0 <= 1", expr({{q(1), 0}, {q(1), 1}}, q(-1)), Relation::Le, 2},
        ConstraintCase{"x0 + x  \t 0 + x0 <= 1", expr({{q(2), 0}, {q(1), 1}}, q(-1)), Relation::Le, 2},
        // Signs set, never flip.
        ConstraintCase{"x0 - - x1 <= 0", expr({{q(1), 0}, {q(-1), 1}}), Relation::Le, 2},
        ConstraintCase{"x0 -+ x1 <= 0", expr({{q(1), 0}, {q(1), 1}}), Relation::Le, 2},
        ConstraintCase{"- 2 * x0 <= 0", expr({{q(-2), 0}}), Relation::Le, 1},
        ConstraintCase{"0*x0 + x1 <= 0", expr({{q(1), 1}}), Relation::Le, 2},
        ConstraintCase{"a + a <= 0", expr({{q(1), 0}, {q(1), 1}}), Relation::Le, 2},
        ConstraintCase{"x1 + x0 <= 0", expr({{q(2), 0}}), Relation::Le, 1},
        ConstraintCase{"x0 + x00 + x01 <= 0", expr({{q(1), 0}, {q(1), 1}, {q(1), 2}}), Relation::Le, 3},
        ConstraintCase{"1/3 <= 0", expr({}, q(333333333, 1000000000)), Relation::Le, 0},
        ConstraintCase{"1/0 <= 0", expr({}, q(INT64_MAX, 1000000000)), Relation::Le, 0},
        ConstraintCase{"0/0 <= 0", expr({}, q(0)), Relation::Le, 0},
        ConstraintCase{"-1/0 <= 0", expr({}, q(-INT64_MAX, 1000000000)), Relation::Le,
                       0},  // sign after from_f64
        ConstraintCase{"0.0000000001*x0 <= 0", expr({}), Relation::Le, 1},
        ConstraintCase{"inf*x0 <= NaN", expr({{q(INT64_MAX, 1000000000), 0}}), Relation::Le, 1},
        ConstraintCase{"x0 <= 2;;;", expr({{q(1), 0}}, q(-2)), Relation::Le, 1},
        ConstraintCase{"x0 >= 1 <= 2", expr({{q(1), 0}}, q(-2)), Relation::Le, 1},
        ConstraintCase{"\xC3\xA9 <= 1", expr({{q(1), 0}}, q(-1)), Relation::Le, 1},      // é
        ConstraintCase{"\xE4\xB8\xAD <= 1", expr({{q(1), 0}}, q(-1)), Relation::Le, 1},  // 中
        ConstraintCase{"\xE2\x85\xA7 <= 1", expr({{q(1), 0}}, q(-1)), Relation::Le,
                       1},  // Roman numeral eight
        ConstraintCase{" \xC2\xA0 x0 <= 1\xE3\x80\x80", expr({{q(1), 0}}, q(-1)), Relation::Le, 1}));

struct MessageCase {
    const char* text;
    const char* message;
    friend void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.text; }
};

class MessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageTest, Reports) { EXPECT_EQ(read_message(GetParam().text), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Examples, MessageTest,
    ::testing::Values(
        MessageCase{"3/-4 <= 0", "bad den in 3/"}, MessageCase{"\n# comment\nfoo", "line 3: bad syntax: foo"},
        MessageCase{"x0 <= y", "bad number: y"}, MessageCase{"x0 <= 1/2", "bad number: 1/2"},
        MessageCase{"a*x0 <= 1", "bad coeff in a*x0"}, MessageCase{"x0 == 3", "bad number: = 3"},
        MessageCase{"x0 <= 3 # note", "bad number: 3 # note"}, MessageCase{"END", "line 1: bad syntax: END"},
        MessageCase{"end;", "line 1: bad syntax: end;"}, MessageCase{"max", "line 1: bad syntax: max"},
        MessageCase{"min\tx0", "line 1: bad syntax: min\tx0"},
        MessageCase{"x0 <= 1\r\n  foo bar  \r\n", "line 2: bad syntax: foo bar"},
        MessageCase{"x0 <= 1\rfoo", "bad number: 1\rfoo"}, MessageCase{"x0 <=", "bad number: "},
        MessageCase{"x0 <= 1 2", "bad number: 1 2"}, MessageCase{"x0 <= 2 ; ;", "bad number: 2 ;"},
        MessageCase{"x0 <= 1,5", "bad number: 1,5"}, MessageCase{"x0 <= 0x10", "bad number: 0x10"},
        MessageCase{"x0 <= .", "bad number: ."}, MessageCase{"x0 <= 1e", "bad number: 1e"},
        MessageCase{"x0 <= +-1", "bad number: +-1"}, MessageCase{"x0 <= infinit", "bad number: infinit"},
        MessageCase{"x0 <= nan(1)", "bad number: nan(1)"}, MessageCase{"1 2 <= 1", "bad constant in 1 2"},
        MessageCase{"x0 - * 2 <= 1", "bad coeff in * 2"},
        MessageCase{"min <= 2", "bad constant in <= 2"},  // an objective line
        MessageCase{"- 1 / 2 / 3 <= 1", "bad den in 1 / 2 / 3"},
        MessageCase{"1.2.3/2 <= 1", "bad num in 1.2.3/2"},
        MessageCase{"x0 + 3 x1 * 2 <= 1", "bad coeff in 3 x1 * 2"},
        MessageCase{"\xC2\xB2 <= 1", "bad constant in \xC2\xB2"},  // superscript two is not alphabetic
        MessageCase{"\xFF <= 1", "bad constant in \xFF"},
        // Line-pass errors win over expression errors on earlier lines.
        MessageCase{"max a*x0\nx0 <= y", "bad number: y"},
        MessageCase{"a*x0 <= 1\n\nfoo", "line 3: bad syntax: foo"},
        // The objective is read before the constraints, whatever the line order.
        MessageCase{"b*x0 <= 1\nmax 1/a", "bad den in 1/a"},
        MessageCase{"b*x0 <= 1\nd*x1 >= 1", "bad coeff in b*x0"}));

TEST(LpFormatTest, VariablesOutOfOrderAndCancelled) {
    LinearProgram p =
        read_ok("min x0 + x1 + x2\nx2 + x0 - x2 + 0.5*x1 - x0 + x2 + 1/2 <= 0\nx1 - x1 + x0 >= 0");
    ASSERT_EQ(p.constraints.size(), 2u);
    EXPECT_EQ(p.constraints[0].expr, expr({{q(1, 2), 1}, {q(1), 2}}, q(1, 2)));
    EXPECT_EQ(p.constraints[1].expr, expr({{q(1), 0}}));
}

TEST(LpFormatTest, CommentsAndEnd) {
    LinearProgram p = read_ok("cost + x0 <= oops\n#x\nx0 <= 1\nend\nthis is not read\n");
    EXPECT_EQ(p.constraints.size(), 1u);
    EXPECT_TRUE(read_ok("").constraints.empty());
    EXPECT_EQ(read_ok("").next_var, 0u);
    // Carriage returns alone do not end lines.
    EXPECT_EQ(read_message("x0 <= 1\rx1 <= 2"), "bad number: 1\rx1 <= 2");
}

TEST(LpFormatTest, Objectives) {
    LinearProgram p = read_ok("min x0 + x1;");
    ASSERT_TRUE(p.objective);
    EXPECT_EQ(p.objective->sense, Sense::Minimize);
    EXPECT_EQ(p.objective->expr, expr({{q(1), 0}, {q(1), 1}}));
    p = read_ok("min x0 + x1\nmax 2*x0 + 5");
    EXPECT_EQ(p.objective->sense, Sense::Maximize);
    EXPECT_EQ(p.objective->expr, expr({{q(2), 0}}, q(5)));
    EXPECT_EQ(p.next_var, 1u);  // the replaced objective is never read
    EXPECT_FALSE(read_ok("x0 <= 1").objective);
    p = read_ok("max ;;");
    ASSERT_TRUE(p.objective);
    EXPECT_EQ(p.objective->expr, LinearExpr{});
}

TEST(LpFormatTest, IntegerDeclarations) {
    EXPECT_TRUE(read_ok("int x0\nmax x0 + x1").var_info[0].integer);
    EXPECT_TRUE(read_ok("max x0 + x1\nint x0").var_info[0].integer);
    LinearProgram p = read_ok("max x0 + x1\nint x0 x1");
    EXPECT_FALSE(p.var_info[0].integer);
    EXPECT_FALSE(p.var_info[1].integer);
    p = read_ok("max x0\nx0 + x1 <= 4\nint x1");
    ASSERT_EQ(p.var_info.size(), 2u);
    EXPECT_FALSE(p.var_info[1].integer);
    p = read_ok("max x0 + x1\nint x1;\nint   x01\nint  x1  ");
    EXPECT_FALSE(p.var_info[0].integer);
    EXPECT_TRUE(p.var_info[1].integer);
    EXPECT_EQ(read_message("int"), "line 1: bad syntax: int");
    EXPECT_EQ(read_message("int\xC2\xA0x1"), "line 1: bad syntax: int\xC2\xA0x1");
}

TEST(LpFormatTest, SumsBeyond64BitsAreReadExactly) {
    EXPECT_EQ(first_constant("min x0 + 9000000000000000000 + 9000000000000000000"), "18000000000000000000");
    EXPECT_EQ(read_ok("max 1e19*x0 + x0").objective->expr.terms.at(0).coefficient.to_string(),
              "9223372036854775808");  // 1e19 saturates to 2^63 - 1, plus 1
    EXPECT_EQ(first_constant("x0 >= -1e19"), "9223372036854775808");
    EXPECT_EQ(first_constant("x0 - 1e19/1 - 2 <= 0"), "-9223372036854775809");
    EXPECT_EQ(first_constant("x0 + 9000000000000000000 - 9000000000000000000 <= 1"), "-1");
    // Errors keep their order: line-pass errors first, then expressions in line order.
    EXPECT_EQ(read_message("min 9000000000000000000 + 9000000000000000000\nfoo"), "line 2: bad syntax: foo");
    EXPECT_EQ(read_message("min 9000000000000000000 + 9000000000000000000\na*x0 <= 1"), "bad coeff in a*x0");
    EXPECT_EQ(read_message("x0 >= -1e19\na*x0 <= 1"), "bad coeff in a*x0");
}

TEST(LpFormatTest, ParseNumber) {
    struct Case {
        const char* text;
        double value;
    };
    const Case good[] = {{"0", 0.0},
                         {"+1", 1.0},
                         {"-1.5", -1.5},
                         {"1.", 1.0},
                         {".5", 0.5},
                         {"-.5e1", -5.0},
                         {"1E+2", 100.0},
                         {"007", 7.0},
                         {"1e400", HUGE_VAL},
                         {"-1e400", -HUGE_VAL},
                         {"1e-400", 0.0},
                         {"INF", HUGE_VAL},
                         {"-Infinity", -HUGE_VAL},
                         {"0.1", 0.1},
                         {"1e99999999999999999999", HUGE_VAL},
                         {"0.000000000000000000000000000000000000001e-300", 0.0},
                         {"123456789012345678901234567890e-320", 123456789012345678901234567890e-320}};
    for (const Case& c : good) {
        std::optional<double> v = parse_number(c.text);
        ASSERT_TRUE(v) << c.text;
        EXPECT_EQ(*v, c.value) << c.text;
    }
    EXPECT_TRUE(std::isnan(*parse_number("nAn")));
    EXPECT_TRUE(std::signbit(*parse_number("-0")));
    const char* bad[] = {"",          "+",   "-",    ".",     "e5",    ".e5",   "1e",
                         "1e+",       "1 ",  " 1",   "1_000", "0x1",   "1e5.0", "in",
                         "infinityy", "++1", "1..2", "1/2",   "nan()", "1d5",   "\xEF\xBC\x91"};
    for (const char* text : bad) EXPECT_FALSE(parse_number(text)) << text;
}

}  // namespace
}  // namespace mekra::lp
