#pragma once
// What the solvers answer, before it becomes Python objects: model entries, failure kinds,
// the LP/MILP outcome, the SAT and CP outcomes, and the rejection of a call's input.
// Python-free: the core library and its tests use these directly.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mekra {

// One variable's value in an answer. The tag order is Bool, Int, Float. An Int beyond 64 bits
// is carried as its decimal digits, beside the double nearest to it (for readers of doubles).
class ModelValue {
public:
    enum class Kind : std::uint8_t { Bool = 0, Int = 1, Float = 2 };

    static ModelValue boolean(bool b) { return ModelValue(Kind::Bool, b ? 1 : 0, 0.0); }
    static ModelValue integer(std::int64_t i) { return ModelValue(Kind::Int, i, 0.0); }
    // A whole number that does not fit 64 bits: its decimal text ("-" then digits) and nearest double.
    static ModelValue wide_integer(std::string digits, double nearest) {
        ModelValue v(Kind::Int, 0, nearest);
        v.digits_ = std::move(digits);
        return v;
    }
    static ModelValue floating(double d) { return ModelValue(Kind::Float, 0, d); }

    Kind kind() const { return kind_; }
    bool as_bool() const { return int_ != 0; }
    bool is_wide() const { return !digits_.empty(); }
    std::int64_t as_int() const { return int_; }           // Int within 64 bits
    const std::string& digits() const { return digits_; }  // wide Int
    double as_float() const { return float_; }             // Float, or a wide Int's nearest double
    // The value as a double: what branch and bound reads.
    double to_double() const { return kind_ == Kind::Int && !is_wide() ? static_cast<double>(int_) : float_; }

    friend bool operator==(const ModelValue&, const ModelValue&) = default;

private:
    ModelValue(Kind kind, std::int64_t i, double d) : kind_(kind), int_(i), float_(d) {}
    Kind kind_;
    std::int64_t int_;
    double float_;
    std::string digits_;
};

struct ModelEntry {
    std::uint64_t index;  // 0-based variable index; the result key is "x" + index
    ModelValue value;
    friend bool operator==(const ModelEntry&, const ModelEntry&) = default;
};

using Model = std::vector<ModelEntry>;

// The kinds of failure a solver reports instead of an answer.
struct SolverError {
    enum class Kind : std::uint8_t {
        Unsupported,
        Undecidable,
        NumericalIssue,
        ResourceLimit,
        IncompleteAlgorithm,
        Internal,
    };
    Kind kind;
    std::string message;  // only for Internal

    static SolverError internal(std::string m) { return {Kind::Internal, std::move(m)}; }
    friend bool operator==(const SolverError&, const SolverError&) = default;
};

// The answer of the linear and mixed-integer solvers.
struct LpOutcome {
    enum class Kind : std::uint8_t { Optimal, Feasible, Infeasible, Unbounded, Unknown };
    Kind kind;
    double objective = 0.0;  // Optimal only
    Model model;             // Optimal and Feasible
    SolverError error{};     // Unknown only

    static LpOutcome optimal(double objective, Model model) {
        return {Kind::Optimal, objective, std::move(model), {}};
    }
    static LpOutcome feasible(Model model) { return {Kind::Feasible, 0.0, std::move(model), {}}; }
    static LpOutcome infeasible() { return {Kind::Infeasible, 0.0, {}, {}}; }
    static LpOutcome unbounded() { return {Kind::Unbounded, 0.0, {}, {}}; }
    static LpOutcome unknown(SolverError e) { return {Kind::Unknown, 0.0, {}, std::move(e)}; }
    friend bool operator==(const LpOutcome&, const LpOutcome&) = default;
};

// The SAT answer: satisfiable with a model of Bool values, or not.
struct SatOutcome {
    bool satisfiable;
    Model model;  // empty when unsatisfiable
    friend bool operator==(const SatOutcome&, const SatOutcome&) = default;
};

// The CP answer: a solution (Int values in index order), or none.
using CpOutcome = std::optional<Model>;

// Why a call's input was refused. The module surface raises it as the matching Python
// exception with `message` as its single argument.
struct Rejection {
    enum class Kind : std::uint8_t {
        BadInput,     // ValueError: a reader's message
        OutOfMemory,  // MemoryError: the input asks for more storage than can be had
    };
    Kind kind;
    std::string message;

    static Rejection bad_input(std::string m) { return {Kind::BadInput, std::move(m)}; }
    friend bool operator==(const Rejection&, const Rejection&) = default;
};

template <class Outcome>
using CallResult = std::variant<Outcome, Rejection>;

// Text forms. These are diagnostic texts; only the Unknown form reaches a caller, as the
// status "UNKNOWN (...)".
std::string to_text(const SolverError& error);
std::string to_text(const LpOutcome& outcome);
std::string model_text(const Model& model);
// The status string of a result dictionary.
std::string status_text(const LpOutcome& outcome);

}  // namespace mekra
