#include "cp/reader.hpp"

#include <functional>
#include <optional>
#include <unordered_map>

#include "text/number.hpp"
#include "text/text.hpp"

namespace mekra::cp {

namespace {

std::string quoted_at_line(std::uint64_t number, std::string_view what, std::string_view name) {
    std::string message = text::at_line(number, what);
    message += '\'';
    message += name;
    message += '\'';
    return message;
}

// Lets the name table be searched with a token view, without building a string per lookup.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// The reader's state for one text: the model so far and the name table.
class Reader {
public:
    // Handles one non-blank, non-comment line; returns a message on failure.
    std::optional<std::string> line(std::uint64_t number, const std::vector<std::string_view>& tokens);

    CpModel take() { return std::move(model_); }

private:
    // Looks up a variable token; on an unknown name, sets `error` and returns nothing.
    std::optional<VarIndex> lookup(std::string_view name);

    std::optional<std::string> var_line(const std::vector<std::string_view>& tokens);
    std::optional<std::string> linear_line(const std::vector<std::string_view>& tokens);

    CpModel model_;
    std::unordered_map<std::string, VarIndex, NameHash, std::equal_to<>> names_;
    std::uint64_t number_ = 0;
    std::string error_;
};

std::optional<VarIndex> Reader::lookup(std::string_view name) {
    auto found = names_.find(name);
    if (found == names_.end()) {
        error_ = quoted_at_line(number_, "unknown variable ", name);
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> Reader::var_line(const std::vector<std::string_view>& tokens) {
    if (tokens.size() < 4) return text::at_line(number_, "var needs name, min, max");
    auto min = text::parse_integer<std::int64_t>(tokens[2]);
    if (!min) return text::at_line(number_, "bad min");
    auto max = text::parse_integer<std::int64_t>(tokens[3]);
    if (!max) return text::at_line(number_, "bad max");
    VarIndex index = model_.variables.size();
    names_.insert_or_assign(std::string(tokens[1]), index);
    model_.variables.push_back({std::string(tokens[1]), *min, *max});
    return std::nullopt;
}

std::optional<std::string> Reader::linear_line(const std::vector<std::string_view>& tokens) {
    const std::size_t n = tokens.size();
    if (n < 5) return "linear: need at least coeff var rhs rel";
    Linear linear;
    std::size_t i = 1;
    while (i + 1 < n - 2) {
        auto coeff = text::parse_integer<std::int64_t>(tokens[i]);
        if (!coeff) return "bad coeff";
        auto var = lookup(tokens[i + 1]);
        if (!var) return error_;
        linear.terms.push_back({*coeff, *var});
        i += 2;
    }
    auto rhs = text::parse_integer<std::int64_t>(tokens[i]);
    if (!rhs) return "bad rhs";
    linear.rhs = *rhs;
    std::string_view rel = tokens[i + 1];
    if (rel == "le") {
        linear.relation = LinearRelation::Le;
    } else if (rel == "eq") {
        linear.relation = LinearRelation::Eq;
    } else if (rel == "ge") {
        linear.relation = LinearRelation::Ge;
    } else {
        return "linear: expected le/eq/ge";
    }
    model_.constraints.emplace_back(std::move(linear));
    return std::nullopt;
}

std::optional<std::string> Reader::line(std::uint64_t number, const std::vector<std::string_view>& tokens) {
    number_ = number;
    const std::string_view keyword = tokens[0];
    const std::size_t n = tokens.size();

    if (keyword == "var") return var_line(tokens);

    if (keyword == "eq" || keyword == "neq" || keyword == "lt") {
        if (n < 3) {
            std::string message(keyword);
            message += " needs 2 vars";
            return message;
        }
        auto a = lookup(tokens[1]);
        if (!a) return error_;
        auto b = lookup(tokens[2]);
        if (!b) return error_;
        if (keyword == "eq") {
            model_.constraints.emplace_back(Eq{*a, *b});
        } else if (keyword == "neq") {
            model_.constraints.emplace_back(Neq{*a, *b});
        } else {
            model_.constraints.emplace_back(Lt{*a, *b});
        }
        return std::nullopt;
    }

    if (keyword == "le") {
        if (n < 4) return "le needs 2 vars + c";
        auto a = lookup(tokens[1]);
        if (!a) return error_;
        auto b = lookup(tokens[2]);
        if (!b) return error_;
        auto c = text::parse_integer<std::int64_t>(tokens[3]);
        if (!c) return "bad c";
        model_.constraints.emplace_back(Le{*a, *b, *c});
        return std::nullopt;
    }

    if (keyword == "linear") return linear_line(tokens);

    if (keyword == "allDiff" || keyword == "alldifferent") {
        if (n < 3) return "allDiff needs \u2265 2 vars";
        AllDiff all;
        all.vars.reserve(n - 1);
        for (std::size_t i = 1; i < n; ++i) {
            auto v = lookup(tokens[i]);
            if (!v) return error_;
            all.vars.push_back(*v);
        }
        model_.constraints.emplace_back(std::move(all));
        return std::nullopt;
    }

    return quoted_at_line(number, "unknown keyword ", keyword);
}

}  // namespace

std::variant<CpModel, std::string> parse_cp_model(std::string_view text) {
    Reader reader;
    std::vector<std::string_view> tokens;
    text::Lines lines(text);
    std::string_view raw;
    std::uint64_t number = 0;
    while (lines.next(raw, number)) {
        std::string_view line = text::trim(raw);
        if (line.empty() || line.front() == '#' || line.starts_with("//")) continue;
        text::split_white_space(line, tokens);
        if (auto message = reader.line(number, tokens)) return std::move(*message);
    }
    return reader.take();
}

}  // namespace mekra::cp
