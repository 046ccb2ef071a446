#include "sat/dimacs.hpp"

#include "text/text.hpp"

namespace mekra::sat {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// White space at s[pos] (its byte length), with ASCII decided inline: clause data is
// almost all ASCII, and the general test is a call per byte.
inline std::size_t space_at(std::string_view s, std::size_t pos) {
    const auto b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) return b == ' ' || (b >= 0x09 && b <= 0x0D) ? 1 : 0;
    return text::white_space_at(s, pos);
}

// An unsigned 64-bit decimal: an optional "+", then one or more digits, no overflow.
bool parse_count(std::string_view token, std::uint64_t& value) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    if (token.empty()) return false;
    std::uint64_t v = 0;
    for (char c : token) {
        if (!is_digit(c)) return false;
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

// A signed 32-bit decimal: an optional sign, then one or more digits, within range.
bool parse_literal(std::string_view token, std::int32_t& value) {
    bool negative = false;
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
        negative = token.front() == '-';
        token.remove_prefix(1);
    }
    if (token.empty()) return false;
    constexpr std::int64_t limit = std::int64_t{1} << 31;  // magnitude of INT32_MIN
    std::int64_t magnitude = 0;
    for (char c : token) {
        if (!is_digit(c)) return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return false;  // leading zeros keep it small, so no early cut
    }
    if (!negative && magnitude == limit) return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// Reads an optionally signed decimal at line[pos] that ends at white space or at the line's
// end, within the signed 32-bit range, advancing pos past it. False (pos unspecified) for
// anything else, which the general path then reads or reports.
inline bool scan_literal(std::string_view line, std::size_t& pos, std::int32_t& value) {
    const std::size_t size = line.size();
    bool negative = false;
    if (line[pos] == '-' || line[pos] == '+') {
        negative = line[pos] == '-';
        ++pos;
    }
    const std::size_t first = pos;
    std::int64_t magnitude = 0;
    constexpr std::int64_t limit = std::int64_t{1} << 31;
    while (pos < size && is_digit(line[pos])) {
        magnitude = magnitude * 10 + (line[pos] - '0');
        if (magnitude > limit) return false;
        ++pos;
    }
    if (pos == first || (pos < size && space_at(line, pos) == 0)) return false;
    if (!negative && magnitude == limit) return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

std::variant<CnfFormula, std::string> parse_dimacs(std::string_view text) {
    CnfFormula formula;
    bool header_seen = false;
    std::uint64_t pending_start = 0;  // the pending clause is literals[pending_start ..)
    std::vector<std::string_view> tokens;

    text::Lines lines(text);
    std::string_view raw;
    std::uint64_t number = 0;
    while (lines.next(raw, number)) {
        std::string_view line = text::trim(raw);
        if (line.empty() || line.front() == 'c') continue;

        if (line.front() == 'p') {
            text::split_white_space(line, tokens);
            if (tokens.size() < 4 || tokens[1] != "cnf")
                return text::at_line(number, "invalid problem line, expected 'p cnf <vars> <clauses>'");
            std::uint64_t variables = 0, clauses = 0;
            if (!parse_count(tokens[2], variables)) return text::at_line(number, "invalid variable count");
            if (!parse_count(tokens[3], clauses)) return text::at_line(number, "invalid clause count");
            if (formula.literals.size() > pending_start)
                return text::at_line(number, "clause before problem header not terminated");
            formula.declared_variables = variables;
            formula.declared_clauses = clauses;
            header_seen = true;
            continue;
        }

        if (!header_seen) return text::at_line(number, "data before 'p cnf' header");
        std::size_t pos = 0;
        while (pos < line.size()) {
            if (std::size_t n = space_at(line, pos)) {
                pos += n;
                continue;
            }
            std::size_t start = pos;
            std::int32_t literal = 0;
            // Fast path: a plain decimal ending at white space or at the end of the line.
            if (scan_literal(line, pos, literal)) {
                if (literal != 0) {
                    formula.literals.push_back(literal);
                } else {
                    formula.clause_ends.push_back(formula.literals.size());
                    pending_start = formula.literals.size();
                }
                continue;
            }
            pos = start;
            while (pos < line.size() && space_at(line, pos) == 0) ++pos;
            std::string_view token = line.substr(start, pos - start);
            if (!parse_literal(token, literal)) {
                std::string message = text::at_line(number, "invalid literal '");
                message += token;
                message += "'";
                return message;
            }
            if (literal != 0) {
                formula.literals.push_back(literal);
            } else {
                formula.clause_ends.push_back(formula.literals.size());
                pending_start = formula.literals.size();
            }
        }
    }
    // A missing last 0 is tolerated: the pending literals form a final clause.
    if (formula.literals.size() > pending_start) formula.clause_ends.push_back(formula.literals.size());
    if (!header_seen) return std::string("missing 'p cnf' header");
    return formula;
}

}  // namespace mekra::sat
