#include "sat/dimacs.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace mekra::sat;
using Clauses = std::vector<std::vector<std::int32_t>>;

namespace {

Clauses clauses_of(const CnfFormula& f) {
    Clauses out;
    for (std::size_t k = 0; k < f.clause_count(); ++k) {
        auto c = f.clause(k);
        out.emplace_back(c.begin(), c.end());
    }
    return out;
}

CnfFormula read_ok(std::string_view text) {
    auto result = parse_dimacs(text);
    if (auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << "unexpected message: " << *message;
        return {};
    }
    return std::get<CnfFormula>(result);
}

std::string read_error(std::string_view text) {
    auto result = parse_dimacs(text);
    if (auto* message = std::get_if<std::string>(&result)) return *message;
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

}  // namespace

struct Accepted {
    const char* text;
    Clauses clauses;
};

class DimacsAccepts : public testing::TestWithParam<Accepted> {};

TEST_P(DimacsAccepts, ReadsTheClauses) {
    EXPECT_EQ(clauses_of(read_ok(GetParam().text)), GetParam().clauses);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DimacsAccepts,
    testing::Values(Accepted{"c hello\np cnf 2 1\n1 -2 0", {{1, -2}}},
                    Accepted{"p cnf 2 1\n1\n-2 0", {{1, -2}}}, Accepted{"p cnf 2 2\n1 0 2 0", {{1}, {2}}},
                    Accepted{"p cnf 2 1\n1 2", {{1, 2}}}, Accepted{"p cnf 1 1\n0", {{}}},
                    Accepted{"pp cnf 1 1 extra", {}}, Accepted{"p cnf +3 1", {}},
                    Accepted{"p cnf 1 5\n3 0", {{3}}}, Accepted{"  p cnf 1 1  \r\n  1 0  \r\n", {{1}}},
                    Accepted{"p cnf 1 1\n-2147483648 2147483647 +5 -0 00", {{INT32_MIN, INT32_MAX, 5}, {}}},
                    Accepted{"p cnf 1 1\n1 0\ncomment? no: c is a comment\n", {{1}}},
                    Accepted{"p cnf 0 0\np cnf 3 3\n1 0", {{1}}},
                    Accepted{"p cnf 1 1\n\u00a01\u30000\u2028", {{1}}},
                    Accepted{"p cnf 1 1\n0001 0000", {{1}}},
                    Accepted{"p cnf 1 1\r1 0", {}},  // a lone carriage return is white space
                    Accepted{"p cnf 2 1\n1\r-2\r0", {{1, -2}}}));

TEST(Dimacs, RecordsTheLastProblemLine) {
    CnfFormula f = read_ok("p cnf 3 4\np cnf 18446744073709551615 +0007");
    EXPECT_EQ(f.declared_variables, 18446744073709551615ull);
    EXPECT_EQ(f.declared_clauses, 7u);
}

struct Rejected {
    const char* text;
    const char* message;
};

class DimacsRejects : public testing::TestWithParam<Rejected> {};

TEST_P(DimacsRejects, WithTheMessage) { EXPECT_EQ(read_error(GetParam().text), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Examples, DimacsRejects,
    testing::Values(Rejected{"", "missing 'p cnf' header"},
                    Rejected{"c only\nc comments\n", "missing 'p cnf' header"},
                    Rejected{"1 0\np cnf 1 1", "line 1: data before 'p cnf' header"},
                    Rejected{"\n\np cnf", "line 3: invalid problem line, expected 'p cnf <vars> <clauses>'"},
                    Rejected{"p CNF 1 1", "line 1: invalid problem line, expected 'p cnf <vars> <clauses>'"},
                    Rejected{"p cnf 1", "line 1: invalid problem line, expected 'p cnf <vars> <clauses>'"},
                    Rejected{"p cnf -1 1", "line 1: invalid variable count"},
                    Rejected{"p cnf 18446744073709551616 1", "line 1: invalid variable count"},
                    Rejected{"p cnf + 1", "line 1: invalid variable count"},
                    Rejected{"p cnf 3 x", "line 1: invalid clause count"},
                    Rejected{"p cnf x x", "line 1: invalid variable count"},
                    Rejected{"p cnf 1 1\n1 x 0", "line 2: invalid literal 'x'"},
                    Rejected{"p cnf 1 1\n2147483648 0", "line 2: invalid literal '2147483648'"},
                    Rejected{"p cnf 1 1\n-2147483649 0", "line 2: invalid literal '-2147483649'"},
                    Rejected{"p cnf 1 1\n- 0", "line 2: invalid literal '-'"},
                    Rejected{"p cnf 1 1\n1 0\n%\n0\n", "line 3: invalid literal '%'"},
                    Rejected{"p cnf 2 1\n1 2\np cnf 2 1",
                             "line 3: clause before problem header not terminated"},
                    Rejected{"p cnf 2 1\n1 2\np cnf x 1", "line 3: invalid variable count"},
                    Rejected{"c\n\n \np cnf 1 1\n1 0\n\n1 2 0.5", "line 7: invalid literal '0.5'"}));

TEST(Dimacs, QuotesTokensByteForByte) {
    std::string text = std::string("p cnf 1 1\n1 a\0b 0", 17);
    EXPECT_EQ(read_error(text), std::string("line 2: invalid literal 'a\0b'", 29));
    EXPECT_EQ(read_error("p cnf 1 1\n\u00e9\u200b 0"), "line 2: invalid literal '\u00e9\u200b'");
}

TEST(Dimacs, ArbitraryTextNeverCrashes) {
    std::mt19937 rng(7);
    const std::string alphabet = "pcnf 0123456789-+\n\r\t\v%x\xc2\xa0\xe2\x80";
    for (int round = 0; round < 20000; ++round) {
        std::string text = round % 2 ? "p cnf 3 3\n" : "";
        int length = static_cast<int>(rng() % 40);
        for (int i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
        auto result = parse_dimacs(text);
        if (auto* f = std::get_if<CnfFormula>(&result)) {
            for (std::size_t k = 0; k < f->clause_count(); ++k)
                for (std::int32_t literal : f->clause(k)) EXPECT_NE(literal, 0);
        } else {
            EXPECT_FALSE(std::get<std::string>(result).empty());
        }
    }
}
