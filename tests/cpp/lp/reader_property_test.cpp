// Random texts against a literal reader: the line rules, piece cutting and the variable
// lookup that compares a name with every existing variable's name, as written.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>

#include "lp/reader.hpp"
#include "text/text.hpp"

namespace mekra::lp {
namespace {

// ---------------------------------------------------------------------------------------
// Literal reader.

VarId literal_var_by_name(std::string_view name, LinearProgram& p) {
    name = text::trim(name);
    for (VarId v : p.variables)
        if (name == "x" + std::to_string(v)) return v;
    VarId id = p.next_var++;
    p.variables.push_back(id);
    p.var_info.push_back(VarInfo{id, false});
    return id;
}

bool literal_alphabetic(std::string_view t) {
    // The pieces of the generated texts hold ASCII, é, ², a fullwidth digit and stray bytes.
    for (char c : t)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return t.find("\xC3\xA9") != std::string_view::npos;
}

ExprReadResult literal_parse_expr(std::string_view text, LinearProgram& p) {
    {
        std::vector<std::pair<std::string, int>> pieces;
        std::string piece;
        int sign = 1;
        for (char c : text::trim(text)) {
            if (c == ' ' || c == '\t') {
                if (!piece.empty()) piece += ' ';
            } else if (c == '+' || c == '-') {
                if (!piece.empty()) pieces.emplace_back(std::move(piece), sign);
                piece.clear();
                sign = c == '+' ? 1 : -1;
            } else {
                piece += c;
            }
        }
        if (!piece.empty()) pieces.emplace_back(piece, sign);
        LinearExpr e;
        for (auto& [raw, s] : pieces) {
            std::string t(text::trim(raw));
            if (t.empty()) continue;
            if (auto slash = t.find('/'); slash != std::string::npos) {
                auto a = parse_number(text::trim(std::string_view(t).substr(0, slash)));
                if (!a) return "bad num in " + t;
                auto b = parse_number(text::trim(std::string_view(t).substr(slash + 1)));
                if (!b) return "bad den in " + t;
                Rational q = Rational::from_f64(*a / *b);
                e = LinearExpr::add(e, LinearExpr::from_constant(s == 1 ? q : -q));
            } else if (auto star = t.find('*'); star != std::string::npos) {
                auto c = parse_number(text::trim(std::string_view(t).substr(0, star)));
                if (!c) return "bad coeff in " + t;
                VarId v = literal_var_by_name(std::string_view(t).substr(star + 1), p);
                e = LinearExpr::add(e, LinearExpr::term(Rational::from_f64(*c * s), v));
            } else if (literal_alphabetic(t)) {
                VarId v = literal_var_by_name(t, p);
                e = s == 1 ? LinearExpr::add(e, LinearExpr::var(v)) : LinearExpr::sub(e, LinearExpr::var(v));
            } else {
                auto k = parse_number(t);
                if (!k) return "bad constant in " + t;
                e = LinearExpr::add(e, LinearExpr::from_constant(Rational::from_f64(s * *k)));
            }
        }
        return e;
    }
}

LpReadResult literal_parse_lp(std::string_view text) {
    std::optional<std::pair<Sense, std::string>> objective;
    std::vector<std::string> names;
    struct Pending {
        std::string lhs;
        Relation rel;
        double rhs;
    };
    std::vector<Pending> pending;
    auto strip = [](std::string_view s) {
        while (!s.empty() && s.back() == ';') s.remove_suffix(1);
        return s;
    };
    text::Lines lines(text);
    std::string_view raw;
    std::uint64_t number;
    while (lines.next(raw, number)) {
        std::string_view line = text::trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == 'c') continue;
        if (line == "end") break;
        if (line.substr(0, 4) == "min ") {
            objective = {Sense::Minimize, std::string(strip(line.substr(4)))};
        } else if (line.substr(0, 4) == "max ") {
            objective = {Sense::Maximize, std::string(strip(line.substr(4)))};
        } else if (line.substr(0, 4) == "int ") {
            std::string_view name = text::trim(line.substr(4));
            if (!name.empty()) names.emplace_back(name);
        } else {
            const std::pair<const char*, Relation> rels[] = {
                {"<=", Relation::Le}, {">=", Relation::Ge}, {"=", Relation::Eq}};
            bool found = false;
            for (auto [rel_text, rel] : rels) {
                std::size_t at = line.find(rel_text);
                if (at == std::string_view::npos) continue;
                std::string_view rhs =
                    text::trim(strip(text::trim(line.substr(at + std::string_view(rel_text).size()))));
                auto r = parse_number(rhs);
                if (!r) return "bad number: " + std::string(rhs);
                pending.push_back({std::string(text::trim(line.substr(0, at))), rel, *r});
                found = true;
                break;
            }
            if (!found) return "line " + std::to_string(number) + ": bad syntax: " + std::string(line);
        }
    }
    LinearProgram p;
    auto failed = [](ExprReadResult& r) -> std::optional<LpReadResult> {
        if (auto* m = std::get_if<std::string>(&r)) return LpReadResult(*m);
        return std::nullopt;
    };
    if (objective) {
        ExprReadResult r = literal_parse_expr(objective->second, p);
        if (auto f = failed(r)) return *f;
        p.objective = Objective{objective->first, std::get<LinearExpr>(r)};
    }
    for (const std::string& name : names)
        for (VarId v : p.variables)
            if (name == "x" + std::to_string(v)) p.var_info[v].integer = true;
    for (const Pending& c : pending) {
        ExprReadResult r = literal_parse_expr(c.lhs, p);
        if (auto f = failed(r)) return *f;
        p.constraints.push_back(Constraint{
            LinearExpr::sub(std::get<LinearExpr>(r), LinearExpr::from_constant(Rational::from_f64(c.rhs))),
            c.rel});
    }
    return p;
}

// ---------------------------------------------------------------------------------------
// Random texts built from the format's own tokens, with some stray bytes.

std::string random_text(std::mt19937_64& rng) {
    static const char* const tokens[] = {"x0",
                                         "x1",
                                         "x2",
                                         "x3",
                                         "x10",
                                         "x01",
                                         "x",
                                         "y",
                                         "cost",
                                         "2x0",
                                         "1e3",
                                         "e",
                                         " ",
                                         " ",
                                         "  ",
                                         "\t",
                                         "+",
                                         "-",
                                         "-",
                                         "*",
                                         "/",
                                         "<=",
                                         ">=",
                                         "=",
                                         "<",
                                         "0",
                                         "1",
                                         "2",
                                         "3",
                                         "0.5",
                                         ".25",
                                         "1e-3",
                                         "9e18",
                                         "9000000000000000000",
                                         "1e19",
                                         "inf",
                                         "NaN",
                                         "0.1",
                                         "1/3",
                                         ";",
                                         "#",
                                         "\n",
                                         "\n",
                                         "\n",
                                         "\r\n",
                                         "\r",
                                         "min ",
                                         "max ",
                                         "int ",
                                         "end",
                                         "\xC3\xA9",
                                         "\xC2\xB2",
                                         "\xC2\xA0",
                                         "\xFF",
                                         "\xEF\xBC\x91",
                                         "3*x0",
                                         "2*x1",
                                         "1/0"};
    std::string out;
    std::size_t n = rng() % 40;
    for (std::size_t i = 0; i < n; ++i) {
        if (rng() % 50 == 0)
            out.push_back(static_cast<char>(rng() % 256));
        else
            out += tokens[rng() % std::size(tokens)];
    }
    return out;
}

// Well-formed lines mostly, with numbers large enough to overflow now and then.
std::string random_program(std::mt19937_64& rng) {
    static const char* const numbers[] = {"0",
                                          "1",
                                          "2",
                                          "0.5",
                                          "1.25",
                                          "3",
                                          "-1",
                                          "1e19",
                                          "9000000000000000000",
                                          "4611686018427387904",
                                          "0.000000001",
                                          "1e-12",
                                          "inf",
                                          "1/3"};
    static const char* const names[] = {"x0", "x1", "x2", "x3", "y", "x01"};
    auto number = [&] { return std::string(numbers[rng() % std::size(numbers)]); };
    std::string out;
    for (std::size_t line = rng() % 6; line > 0; --line) {
        std::size_t kind = rng() % 6;
        if (kind == 0) out += "min ";
        if (kind == 1) out += "max ";
        if (kind == 2) {
            out += "int " + std::string(names[rng() % std::size(names)]) + "\n";
            continue;
        }
        for (std::size_t t = 1 + rng() % 4; t > 0; --t) {
            out += rng() % 3 == 0 ? " - " : " + ";
            switch (rng() % 3) {
                case 0:
                    out += number();
                    break;
                case 1:
                    out += std::string(names[rng() % std::size(names)]);
                    break;
                default: {
                    std::string c = number();
                    if (c.find('/') != std::string::npos || c[0] == '-') c = "2";
                    out += c + "*" + names[rng() % std::size(names)];
                }
            }
        }
        if (kind >= 3) {
            const char* rels[] = {" <= ", " >= ", " = "};
            std::string rhs = number();
            if (rhs == "1/3") rhs = "-1e19";
            out += rels[kind - 3] + rhs;
        }
        out += "\n";
    }
    return out;
}

bool normal_form(const LinearExpr& e, VarId next_var) {
    for (std::size_t i = 0; i < e.terms.size(); ++i) {
        const Term& t = e.terms[i];
        if (t.coefficient.is_zero() || t.var >= next_var) return false;
        if (i > 0 && e.terms[i - 1].var >= t.var) return false;
    }
    return true;
}

TEST(LpFormatPropertyTest, MatchesLiteralReaderOnRandomText) {
    std::mt19937_64 rng(31337);
    int programs = 0, messages = 0, wide = 0;
    for (int i = 0; i < 12000; ++i) {
        std::string text = i % 2 ? random_text(rng) : random_program(rng);
        LpReadResult got = parse_lp(text);
        LpReadResult want = literal_parse_lp(text);
        ASSERT_EQ(got, want) << text;
        if (auto* p = std::get_if<LinearProgram>(&got)) {
            ++programs;
            ASSERT_EQ(p->variables.size(), p->next_var);
            ASSERT_EQ(p->var_info.size(), p->next_var);
            if (p->objective) {
                ASSERT_TRUE(normal_form(p->objective->expr, p->next_var));
            }
            for (const Constraint& c : p->constraints) {
                ASSERT_TRUE(normal_form(c.expr, p->next_var));
                wide += !c.expr.constant.is_small();
            }
        } else {
            ++messages;
        }
    }
    // The generator reaches every kind of outcome.
    EXPECT_GT(programs, 1000);
    EXPECT_GT(messages, 1000);
    EXPECT_GT(wide, 100);  // sums beyond 64 bits
}

TEST(LpFormatPropertyTest, ArbitraryBytesNeverThrow) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 20000; ++i) {
        std::string text(rng() % 64, '\0');
        for (char& c : text) c = static_cast<char>(rng() % 256);
        if (i % 2) text = "x0 " + text + " <= 1\n" + text + "\nmin " + text;
        EXPECT_NO_THROW(parse_lp(text));
    }
}

TEST(LpFormatPropertyTest, VarByNameMatchesScan) {
    std::mt19937_64 rng(8);
    const char* const names[] = {"x0",    "x1",  "x2",  "x3", "x9", "x10",
                                 "x11",   "x01", "x00", "x",  "X1", "x-1",
                                 " x2\t", "x1 ", "x 1", "y",  "",   "x18446744073709551616",
                                 "x1a"};
    for (int round = 0; round < 300; ++round) {
        LinearProgram fast, slow;
        for (int i = 0; i < 40; ++i) {
            std::string name = names[rng() % std::size(names)];
            ASSERT_EQ(var_by_name(name, fast), literal_var_by_name(name, slow)) << name;
        }
        ASSERT_EQ(fast, slow);
    }
}

TEST(LpFormatPropertyTest, NumbersMatchSyntaxAndNearestDouble) {
    std::setlocale(LC_NUMERIC, "C");
    const std::regex syntax(R"([+-]?(([0-9]+\.?[0-9]*)|(\.[0-9]+))([eE][+-]?[0-9]+)?)");
    const std::regex words(R"([+-]?(inf|infinity|nan))", std::regex::icase);
    std::mt19937_64 rng(12);
    const char alphabet[] = "0123456789.eE+-0123456789";
    for (int i = 0; i < 30000; ++i) {
        std::string s(1 + rng() % 12, ' ');
        for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
        if (i % 3 == 0) {  // mostly valid: digits, point, digits, exponent
            s = std::to_string(rng() % 100000) + "." + std::to_string(rng()) + "e" +
                std::to_string(static_cast<int>(rng() % 700) - 350);
        }
        std::optional<double> got = parse_number(s);
        bool valid = std::regex_match(s, syntax) || std::regex_match(s, words);
        ASSERT_EQ(got.has_value(), valid) << s;
        if (got) {
            double want = std::strtod(s.c_str(), nullptr);  // correctly rounded in the C locale
            ASSERT_EQ(std::memcmp(&*got, &want, sizeof want) == 0 || (std::isnan(*got) && std::isnan(want)),
                      true)
                << s;
        }
    }
}

}  // namespace
}  // namespace mekra::lp
