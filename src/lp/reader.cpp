#include "lp/reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <unordered_map>

#include "text/alphabetic.hpp"
#include "text/number.hpp"
#include "text/text.hpp"

namespace mekra::lp {

namespace {

using text::is_digit;

bool equals_ignoring_case(std::string_view s, std::string_view lower_word) {
    if (s.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_word[i]) return false;
    }
    return true;
}

std::string_view without_trailing_semicolons(std::string_view s) {
    while (!s.empty() && s.back() == ';') s.remove_suffix(1);
    return s;
}

// Whether s holds a code point with the Unicode property Alphabetic. Bytes that do not form
// valid UTF-8 are skipped one at a time and count as not alphabetic.
bool contains_alphabetic(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            if ((b0 | 0x20) >= 'a' && (b0 | 0x20) <= 'z') return true;
            ++i;
            continue;
        }
        std::size_t len;
        char32_t cp;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            cp = b0 & 0x0F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            cp = b0 & 0x07;
        } else {
            ++i;
            continue;
        }
        bool valid = i + len <= s.size();
        for (std::size_t k = 1; valid && k < len; ++k) {
            unsigned char b = static_cast<unsigned char>(s[i + k]);
            valid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        valid = valid && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            ++i;
            continue;
        }
        if (text::is_alphabetic(cp)) return true;
        i += len;
    }
    return false;
}

// The variable that `name` (already trimmed) names, if it exists: "x" followed by a decimal
// without leading zeros that is below the current count. No other name can equal a variable's.
std::optional<VarId> existing_var(std::string_view name, const LinearProgram& program) {
    if (name.size() < 2 || name[0] != 'x') return std::nullopt;
    std::string_view digits = name.substr(1);
    if (digits.size() > 1 && digits[0] == '0') return std::nullopt;
    const std::optional<VarId> k = text::parse_digits<VarId>(digits);
    if (!k || *k >= program.next_var) return std::nullopt;
    return k;
}

// Decimal exponent of the leading significant digit of a valid decimal `body` (no sign, not
// all zeros), saturated far beyond the range of double: tells an overflowing number from an
// underflowing one.
long long decimal_magnitude(std::string_view body) {
    std::size_t mantissa_end = std::min(body.find_first_of("eE"), body.size());
    std::size_t point = std::min(body.find('.'), mantissa_end);
    long long leading = 0;
    for (std::size_t i = 0; i < mantissa_end; ++i) {
        if (body[i] == '.' || body[i] == '0') continue;
        leading = i < point ? static_cast<long long>(point - i) - 1 : -static_cast<long long>(i - point);
        break;
    }
    long long exponent = 0;
    bool negative = false;
    std::size_t i = mantissa_end + 1;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative = body[i++] == '-';
    for (; i < body.size(); ++i) exponent = std::min(exponent * 10 + (body[i] - '0'), 1000000000LL);
    return leading + (negative ? -exponent : exponent);
}

}  // namespace

std::optional<double> parse_number(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    double value;
    if (equals_ignoring_case(text, "inf") || equals_ignoring_case(text, "infinity")) {
        value = std::numeric_limits<double>::infinity();
    } else if (equals_ignoring_case(text, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        std::size_t i = 0, digits = 0;
        while (i < text.size() && is_digit(text[i])) ++i, ++digits;
        if (i < text.size() && text[i] == '.') {
            ++i;
            while (i < text.size() && is_digit(text[i])) ++i, ++digits;
        }
        if (digits == 0) return std::nullopt;
        if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
            ++i;
            if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
            std::size_t exponent_digits = 0;
            while (i < text.size() && is_digit(text[i])) ++i, ++exponent_digits;
            if (exponent_digits == 0) return std::nullopt;
        }
        if (i != text.size()) return std::nullopt;
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
        if (ec == std::errc::result_out_of_range) {
            // Beyond the largest double or below half the smallest: the nearest is inf or 0.
            value = decimal_magnitude(text) >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (ec != std::errc() || ptr != end) {
            return std::nullopt;
        }
    }
    return negative ? -value : value;
}

VarId var_by_name(std::string_view name, LinearProgram& program) {
    name = text::trim(name);
    if (std::optional<VarId> found = existing_var(name, program)) return *found;
    VarId id = program.next_var++;
    program.variables.push_back(id);
    program.var_info.push_back(VarInfo{id, false});
    return id;
}

namespace {

// The running sum of an expression's pieces. Adding the pieces one by one with LinearExpr::add
// computes, per variable and for the constant, the sums of their values in piece order (a sum
// that cancels drops the term, and the next piece starts again from zero); this builder does the
// same sums in the same order, so it overflows at the same piece and ends with the same normal
// form, but a variable that comes out of order costs a lookup instead of an insertion.
class ExprBuilder {
public:
    void add_constant(Rational k) { constant_ = constant_ + k; }

    void add_term(Rational c, VarId v) {
        if (c.is_zero()) return;
        if (sorted_ && (terms_.empty() || terms_.back().var < v)) {
            terms_.push_back(Term{c, v});
            return;
        }
        Term* found = find(v);
        if (found) {
            found->coefficient = found->coefficient + c;
            return;
        }
        if (sorted_) {
            sorted_ = false;
            for (std::size_t i = 0; i < terms_.size(); ++i) index_.emplace(terms_[i].var, i);
        }
        index_.emplace(v, terms_.size());
        terms_.push_back(Term{c, v});
    }

    LinearExpr finish() && {
        if (!sorted_)
            std::sort(terms_.begin(), terms_.end(),
                      [](const Term& a, const Term& b) { return a.var < b.var; });
        std::erase_if(terms_, [](const Term& t) { return t.coefficient.is_zero(); });
        return LinearExpr{std::move(terms_), constant_};
    }

private:
    Term* find(VarId v) {
        if (sorted_) {
            auto it = std::lower_bound(terms_.begin(), terms_.end(), v,
                                       [](const Term& t, VarId x) { return t.var < x; });
            return it != terms_.end() && it->var == v ? &*it : nullptr;
        }
        auto it = index_.find(v);
        return it == index_.end() ? nullptr : &terms_[it->second];
    }

    std::vector<Term> terms_;  // first occurrences in order; a cancelled term stays at zero
    bool sorted_ = true;       // terms_ strictly increasing by variable; index_ unused
    std::unordered_map<VarId, std::size_t> index_;
    Rational constant_;
};

// Adds the signed piece t (trimmed, not empty); a message when a number is bad.
std::optional<std::string> add_piece(std::string_view t, bool negative, ExprBuilder& expr,
                                     LinearProgram& program) {
    double sign = negative ? -1.0 : 1.0;
    if (std::size_t slash = t.find('/'); slash != std::string_view::npos) {
        std::optional<double> a = parse_number(text::trim(t.substr(0, slash)));
        if (!a) return "bad num in " + std::string(t);
        std::optional<double> b = parse_number(text::trim(t.substr(slash + 1)));
        if (!b) return "bad den in " + std::string(t);
        Rational q = Rational::from_f64(*a / *b);
        expr.add_constant(negative ? -q : q);
    } else if (std::size_t star = t.find('*'); star != std::string_view::npos) {
        std::optional<double> c = parse_number(text::trim(t.substr(0, star)));
        if (!c) return "bad coeff in " + std::string(t);
        VarId v = var_by_name(t.substr(star + 1), program);
        expr.add_term(Rational::from_f64(*c * sign), v);
    } else if (contains_alphabetic(t)) {
        expr.add_term(Rational::integer(negative ? -1 : 1), var_by_name(t, program));
    } else {
        std::optional<double> k = parse_number(t);
        if (!k) return "bad constant in " + std::string(t);
        expr.add_constant(Rational::from_f64(sign * *k));
    }
    return std::nullopt;
}

}  // namespace

// Pieces are cut at "+" and "-" (each sets the sign of the next piece), with runs of spaces and
// tabs inside a piece collapsed to one space, and added to the expression as they close.
ExprReadResult parse_expr(std::string_view text, LinearProgram& program) {
    ExprBuilder expr;
    std::string piece;
    bool negative = false;
    auto close_piece = [&]() -> std::optional<std::string> {
        std::string_view t = text::trim(piece);
        std::optional<std::string> error;
        if (!t.empty()) error = add_piece(t, negative, expr, program);
        piece.clear();
        return error;
    };
    for (char c : text::trim(text)) {
        if (c == ' ' || c == '\t') {
            if (!piece.empty()) piece.push_back(' ');
        } else if (c == '+' || c == '-') {
            if (!piece.empty())
                if (auto error = close_piece()) return *error;
            negative = c == '-';
        } else {
            piece.push_back(c);
        }
    }
    if (!piece.empty())
        if (auto error = close_piece()) return *error;
    return std::move(expr).finish();
}

namespace {

struct PendingConstraint {
    std::string_view lhs;
    Relation relation;
    double rhs;
};

}  // namespace

// One pass classifies the lines and reads right-hand sides; the expressions are read after it,
// so a line-level error wins over any expression error.
LpReadResult parse_lp(std::string_view text) {
    std::optional<Sense> sense;
    std::string_view objective_text;
    std::vector<std::string_view> integer_names;
    std::vector<PendingConstraint> pending;

    text::Lines lines(text);
    std::string_view raw;
    std::uint64_t number;
    while (lines.next(raw, number)) {
        std::string_view line = text::trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == 'c') continue;
        if (line == "end") break;
        if (line.starts_with("min ") || line.starts_with("max ")) {
            sense = line[1] == 'i' ? Sense::Minimize : Sense::Maximize;
            objective_text = without_trailing_semicolons(line.substr(4));
            continue;
        }
        if (line.starts_with("int ")) {
            std::string_view name = text::trim(line.substr(4));
            if (!name.empty()) integer_names.push_back(name);
            continue;
        }
        Relation relation;
        std::size_t at, length = 2;
        if ((at = line.find("<=")) != std::string_view::npos) {
            relation = Relation::Le;
        } else if ((at = line.find(">=")) != std::string_view::npos) {
            relation = Relation::Ge;
        } else if ((at = line.find('=')) != std::string_view::npos) {
            relation = Relation::Eq;
            length = 1;
        } else {
            return text::at_line(number, "bad syntax: " + std::string(line));
        }
        std::string_view rhs = text::trim(without_trailing_semicolons(text::trim(line.substr(at + length))));
        std::optional<double> value = parse_number(rhs);
        if (!value) return "bad number: " + std::string(rhs);
        pending.push_back(PendingConstraint{text::trim(line.substr(0, at)), relation, *value});
    }

    LinearProgram program;
    if (sense) {
        ExprReadResult objective = parse_expr(objective_text, program);
        if (auto* message = std::get_if<std::string>(&objective)) return std::move(*message);
        program.objective = Objective{*sense, std::move(std::get<LinearExpr>(objective))};
    }
    // Declarations apply to the variables that exist now, i.e. those of the objective.
    for (std::string_view name : integer_names)
        if (std::optional<VarId> v = existing_var(name, program)) program.var_info[*v].integer = true;
    program.constraints.reserve(pending.size());
    for (const PendingConstraint& c : pending) {
        ExprReadResult lhs = parse_expr(c.lhs, program);
        if (auto* message = std::get_if<std::string>(&lhs)) return std::move(*message);
        LinearExpr expr = LinearExpr::sub(std::move(std::get<LinearExpr>(lhs)),
                                          LinearExpr::from_constant(Rational::from_f64(c.rhs)));
        program.constraints.push_back(Constraint{std::move(expr), c.relation});
    }
    return program;
}

}  // namespace mekra::lp
