#include "sat/dimacs.hpp"

#include <optional>

#include "text/number.hpp"
#include "text/text.hpp"

namespace mekra::sat {

namespace {

// White space at s[pos] (its byte length), with ASCII decided inline: clause data is
// almost all ASCII, and the general test is a call per byte.
inline std::size_t space_at(std::string_view s, std::size_t pos) {
    const auto b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) return b == ' ' || (b >= 0x09 && b <= 0x0D) ? 1 : 0;
    return text::white_space_at(s, pos);
}

// Reads an optionally signed decimal at line[pos] that ends at white space or at the line's
// end, within the signed 32-bit range, advancing pos past it. False (pos unspecified) for
// anything else, which the general path then reads or reports.
inline bool scan_literal(std::string_view line, std::size_t& pos, std::int32_t& value) {
    const text::IntegerScan scan = text::scan_integer(line, pos);
    if (scan.end < line.size() && space_at(line, scan.end) == 0) return false;
    const std::optional<std::int32_t> read = text::integer_value<std::int32_t>(scan);
    if (!read) return false;
    pos = scan.end;
    value = *read;
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
            const std::optional<std::uint64_t> variables = text::parse_integer<std::uint64_t>(tokens[2]);
            if (!variables) return text::at_line(number, "invalid variable count");
            const std::optional<std::uint64_t> clauses = text::parse_integer<std::uint64_t>(tokens[3]);
            if (!clauses) return text::at_line(number, "invalid clause count");
            if (formula.literals.size() > pending_start)
                return text::at_line(number, "clause before problem header not terminated");
            formula.declared_variables = *variables;
            formula.declared_clauses = *clauses;
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
            const std::optional<std::int32_t> read = text::parse_integer<std::int32_t>(token);
            if (!read) {
                std::string message = text::at_line(number, "invalid literal '");
                message += token;
                message += "'";
                return message;
            }
            literal = *read;
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
