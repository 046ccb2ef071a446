#include "linear/linear_expr.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

namespace mekra::linear {
namespace {

Rational q(std::int64_t n, std::int64_t d = 1) { return Rational::make(n, d); }

LinearExpr expr(std::vector<Term> terms, Rational constant = Rational()) {
    return LinearExpr{std::move(terms), constant};
}

TEST(LinearExprTest, Constructors) {
    EXPECT_EQ(LinearExpr::var(4), expr({{q(1), 4}}));
    EXPECT_EQ(LinearExpr::term(q(2, 3), 1), expr({{q(2, 3), 1}}));
    EXPECT_EQ(LinearExpr::term(q(0), 1), LinearExpr{});
    EXPECT_EQ(LinearExpr::from_constant(q(5)), expr({}, q(5)));
    EXPECT_EQ(LinearExpr{}, expr({}, q(0)));
}

TEST(LinearExprTest, AddExamples) {
    EXPECT_EQ(LinearExpr::add(expr({{q(1), 1}, {q(2), 3}}), LinearExpr::var(2)),
              expr({{q(1), 1}, {q(1), 2}, {q(2), 3}}));
    EXPECT_EQ(LinearExpr::add(expr({{q(1), 0}}, q(1)), expr({{q(-1), 0}}, q(2))), expr({}, q(3)));
    EXPECT_EQ(LinearExpr::add(LinearExpr{}, LinearExpr{}), LinearExpr{});
    LinearExpr e = expr({{q(1, 2), 0}, {q(-3), 7}}, q(5, 4));
    EXPECT_EQ(LinearExpr::add(e, LinearExpr{}), e);
    EXPECT_EQ(LinearExpr::add(LinearExpr{}, e), e);
    EXPECT_EQ(LinearExpr::sub(e, e), LinearExpr{});
    EXPECT_EQ(LinearExpr::add(LinearExpr::term(q(1, 2), 5), LinearExpr::term(q(1, 3), 5)),
              expr({{q(5, 6), 5}}));
    EXPECT_EQ(LinearExpr::neg(e), expr({{q(-1, 2), 0}, {q(3), 7}}, q(-5, 4)));
    // A single term landing in front of, between and onto existing terms.
    LinearExpr f = expr({{q(1), 2}, {q(1), 4}});
    EXPECT_EQ(LinearExpr::add(f, LinearExpr::var(0)), expr({{q(1), 0}, {q(1), 2}, {q(1), 4}}));
    EXPECT_EQ(LinearExpr::add(f, LinearExpr::var(3)), expr({{q(1), 2}, {q(1), 3}, {q(1), 4}}));
    EXPECT_EQ(LinearExpr::add(f, LinearExpr::term(q(-1), 2)), expr({{q(1), 4}}));
}

TEST(LinearExprTest, SumsBeyond64BitsAreExact) {
    Rational max = Rational::integer(INT64_MAX), min = Rational::integer(INT64_MIN);
    EXPECT_EQ(
        LinearExpr::add(LinearExpr::from_constant(max), LinearExpr::from_constant(q(1))).constant.to_string(),
        "9223372036854775808");
    EXPECT_EQ(
        LinearExpr::add(LinearExpr::term(max, 0), LinearExpr::var(0)).terms.at(0).coefficient.to_string(),
        "9223372036854775808");
    // Negating b alone leaves 64 bits; the difference cancels exactly all the same.
    EXPECT_EQ(LinearExpr::sub(LinearExpr::term(min, 0), LinearExpr::term(min, 0)), LinearExpr{});
    EXPECT_EQ(LinearExpr::sub(LinearExpr{}, LinearExpr::from_constant(min)).constant.to_string(),
              "9223372036854775808");
}

// The written algorithm: concatenate, stable sort by variable, combine neighbours (earlier
// plus later), then drop zero coefficients.
LinearExpr literal_add(LinearExpr a, LinearExpr b) {
    Rational constant = a.constant + b.constant;
    std::vector<Term> all = a.terms;
    all.insert(all.end(), b.terms.begin(), b.terms.end());
    std::stable_sort(all.begin(), all.end(), [](const Term& x, const Term& y) { return x.var < y.var; });
    std::vector<Term> merged;
    for (const Term& t : all) {
        if (!merged.empty() && merged.back().var == t.var)
            merged.back().coefficient = merged.back().coefficient + t.coefficient;
        else
            merged.push_back(t);
    }
    std::vector<Term> kept;
    for (const Term& t : merged)
        if (!t.coefficient.is_zero()) kept.push_back(t);
    return LinearExpr{kept, constant};
}

// new(-p, q) for each coefficient and the constant, as 0 - x.
Rational literal_negate(const Rational& x) { return Rational() - x; }

LinearExpr literal_neg(LinearExpr a) {
    std::vector<Term> kept;
    for (const Term& t : a.terms) {
        Rational c = literal_negate(t.coefficient);
        if (!c.is_zero()) kept.push_back(Term{c, t.var});
    }
    return LinearExpr{kept, literal_negate(a.constant)};
}

Rational random_coefficient(std::mt19937_64& rng) {
    switch (rng() % 4) {
        case 0:
            return Rational::integer(static_cast<std::int64_t>(rng() % 7) - 3);
        case 1:
            return Rational::make(static_cast<std::int64_t>(rng() % 11) - 5,
                                  1 + static_cast<std::int64_t>(rng() % 6));
        case 2:
            return Rational::integer(rng() % 2 ? INT64_MAX - static_cast<std::int64_t>(rng() % 3)
                                               : INT64_MIN);
        default:
            return Rational::make(static_cast<std::int64_t>(rng() >> 1),
                                  1 + static_cast<std::int64_t>(rng() % 1000));
    }
}

LinearExpr random_expr(std::mt19937_64& rng) {
    LinearExpr e;
    for (VarId v = 0; v < 12; ++v) {
        if (rng() % 3 != 0) continue;
        Rational c = random_coefficient(rng);
        if (!c.is_zero()) e.terms.push_back(Term{c, v});
    }
    if (rng() % 2) e.constant = random_coefficient(rng);
    return e;
}

TEST(LinearExprTest, MatchesLiteralAlgorithm) {
    std::mt19937_64 rng(4242);
    int wide = 0;
    for (int i = 0; i < 20000; ++i) {
        LinearExpr a = random_expr(rng), b = random_expr(rng);
        const LinearExpr want_add = literal_add(a, b);
        ASSERT_EQ(want_add, LinearExpr::add(a, b));
        ASSERT_EQ(literal_add(a, literal_neg(b)), LinearExpr::sub(a, b));
        for (const Term& t : want_add.terms) wide += !t.coefficient.is_small();
    }
    EXPECT_GT(wide, 100);
}

TEST(LinearExprTest, TermByTermBuildMatchesLiteralAlgorithm) {
    std::mt19937_64 rng(17);
    for (int i = 0; i < 2000; ++i) {
        LinearExpr fast, slow;
        for (int k = 0; k < 20; ++k) {
            LinearExpr piece =
                rng() % 4 == 0 ? LinearExpr::from_constant(q(static_cast<std::int64_t>(rng() % 9) - 4, 2))
                               : LinearExpr::term(q(static_cast<std::int64_t>(rng() % 5) - 2, 3), rng() % 8);
            bool minus = rng() % 2;
            fast = minus ? LinearExpr::sub(fast, piece) : LinearExpr::add(fast, piece);
            slow = minus ? literal_add(slow, literal_neg(piece)) : literal_add(slow, piece);
            ASSERT_EQ(fast, slow);
        }
    }
}

}  // namespace
}  // namespace mekra::linear
