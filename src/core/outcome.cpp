#include "core/outcome.hpp"

#include <charconv>
#include <system_error>

namespace mekra {

namespace {

// The shortest decimal that reads back to the same double, without exponent; integral
// values carry no fractional part (2.0 gives "2", 1e-7 gives "0.0000001").
std::string double_text(double d) {
    char buffer[400];  // the widest fixed form of a double has 309 integral digits and a sign
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed);
    if (ec != std::errc()) return "?";
    return std::string(buffer, end);
}

std::string value_text(const ModelValue& value) {
    switch (value.kind()) {
        case ModelValue::Kind::Bool:
            return value.as_bool() ? "true" : "false";
        case ModelValue::Kind::Int:
            return value.is_wide() ? value.digits() : std::to_string(value.as_int());
        case ModelValue::Kind::Float:
            return double_text(value.as_float());
    }
    return "?";
}

}  // namespace

std::string to_text(const SolverError& error) {
    switch (error.kind) {
        case SolverError::Kind::Unsupported:
            return "unsupported";
        case SolverError::Kind::Undecidable:
            return "undecidable";
        case SolverError::Kind::NumericalIssue:
            return "numerical issue";
        case SolverError::Kind::ResourceLimit:
            return "resource limit";
        case SolverError::Kind::IncompleteAlgorithm:
            return "incomplete algorithm";
        case SolverError::Kind::Internal:
            return "internal: " + error.message;
    }
    return "internal: unknown solver error";
}

std::string model_text(const Model& model) {
    std::string text = "Model: [";
    for (std::size_t i = 0; i < model.size(); ++i) {
        if (i != 0) text += ", ";
        text += 'x';
        text += std::to_string(model[i].index);
        text += " -> ";
        text += value_text(model[i].value);
    }
    text += "]";
    return text;
}

std::string status_text(const LpOutcome& outcome) {
    switch (outcome.kind) {
        case LpOutcome::Kind::Optimal:
            return "OPTIMAL";
        case LpOutcome::Kind::Feasible:
            return "FEASIBLE";
        case LpOutcome::Kind::Infeasible:
            return "INFEASIBLE";
        case LpOutcome::Kind::Unbounded:
            return "UNBOUNDED";
        case LpOutcome::Kind::Unknown:
            return "UNKNOWN (" + to_text(outcome.error) + ")";
    }
    return "UNKNOWN (internal: unknown outcome)";
}

std::string to_text(const LpOutcome& outcome) {
    switch (outcome.kind) {
        case LpOutcome::Kind::Optimal:
            return "OPTIMAL (obj=" + double_text(outcome.objective) + ")\n" + model_text(outcome.model);
        case LpOutcome::Kind::Feasible:
            return "FEASIBLE\n" + model_text(outcome.model);
        default:
            return status_text(outcome);
    }
}

}  // namespace mekra
