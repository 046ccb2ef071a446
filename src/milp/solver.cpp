#include "milp/solver.hpp"

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <variant>

#include "core/invariant.hpp"
#include "lp/solver.hpp"
#include "milp/node_queue.hpp"

namespace mekra::milp {

namespace {

using lp::LinearExpr;
using lp::LpSolver;
using lp::Relation;
using lp::Sense;

// The double value of variable `v` in an LP solution (for a value beyond 64 bits, the double
// nearest to it). The LP solver reports one entry per variable, in VarId order.
double value_of(const Model& model, VarId v) {
    check_invariant(v < model.size() && model[v].index == v,
                    "LP model lacks an entry for an integer variable");
    const ModelValue& value = model[v].value;
    switch (value.kind()) {
        case ModelValue::Kind::Int:
        case ModelValue::Kind::Float:
            return value.to_double();
        case ModelValue::Kind::Bool:
            break;
    }
    fail_invariant("LP model holds a Boolean value");
}

bool is_integral(const Model& model, const std::vector<VarId>& integers) {
    for (VarId v : integers) {
        const double x = value_of(model, v);
        if (!(std::fabs(x - std::round(x)) < INTEGRALITY_TOL)) return false;
    }
    return true;
}

// The decision rule shared by the search and by the final optimality check.
// Maximising (or no objective): a node is pruned when the incumbent reaches its bound, an
// absent bound counting as +inf. Minimising: unless its bound (absent: -inf) is below the
// incumbent.
bool is_pruned(const std::optional<double>& bound, double incumbent_objective, bool maximize) {
    if (maximize) return incumbent_objective >= bound.value_or(std::numeric_limits<double>::infinity());
    return !(bound.value_or(-std::numeric_limits<double>::infinity()) < incumbent_objective);
}

Constraint bound_constraint(const VarBound& decision) {
    check_invariant(decision.lower.has_value() != decision.upper.has_value(),
                    "a branching decision sets exactly one bound");
    if (decision.lower)
        return {LinearExpr::sub(LinearExpr::var(decision.var), LinearExpr::from_constant(*decision.lower)),
                Relation::Ge};
    return {LinearExpr::sub(LinearExpr::var(decision.var), LinearExpr::from_constant(*decision.upper)),
            Relation::Le};
}

// The bound constraints of the node being solved, one per decision on its path, oldest first.
// Consecutive nodes often share most of their path, so only the part after the common prefix
// is rebuilt; the list's storage is reused from node to node.
class NodeConstraints {
public:
    std::span<const Constraint> for_node(std::uint64_t index, const std::vector<BranchNode>& nodes) {
        path_.clear();
        for (std::optional<std::uint64_t> at = index; at; at = nodes[*at].parent) path_.push_back(*at);
        std::size_t common = 0;
        while (common < applied_.size() && common < path_.size() &&
               applied_[common] == path_[path_.size() - 1 - common])
            ++common;
        constraints_.resize(common);
        applied_.resize(common);
        for (std::size_t k = common; k < path_.size(); ++k) {
            const std::uint64_t node = path_[path_.size() - 1 - k];
            constraints_.push_back(bound_constraint(nodes[node].decision));
            applied_.push_back(node);
        }
        return constraints_;
    }

private:
    std::vector<Constraint> constraints_;
    std::vector<std::uint64_t> applied_;  // the node whose decision each constraint states
    std::vector<std::uint64_t> path_;     // scratch: the requested node's path, newest first
};

class Search {
public:
    explicit Search(const LinearProgram& program)
        : maximize_(!program.objective || program.objective->sense == Sense::Maximize),
          incumbent_objective_(maximize_ ? -std::numeric_limits<double>::infinity()
                                         : std::numeric_limits<double>::infinity()) {
        for (VarId v : program.variables) {
            check_invariant(v < program.var_info.size(), "variable without a record");
            if (program.var_info[v].integer) integers_.push_back(v);
        }
        lp_.load(program);  // the one copy of the program; every node solve reads it
    }

    MilpSearch run() {
        LpOutcome root = solve({});
        if (integers_.empty() || root.kind != LpOutcome::Kind::Optimal || is_integral(root.model, integers_))
            return {std::move(root), 0, false, 0};

        branch(root.model, root.objective, std::nullopt);
        std::optional<std::uint64_t> cut_at;  // the node popped when the limit struck
        while (std::optional<QueueEntry> top = queue_.pop()) {
            if (explored_ == MAX_NODES) {
                cut_at = top->node;
                break;
            }
            ++explored_;
            explore(top->node);
        }
        const std::uint64_t unresolved = unresolved_.size();
        return {finish(cut_at), explored_, cut_at.has_value(), unresolved};
    }

private:
    // A fresh solve of the program with `extra` appended (no state is carried between solves).
    LpOutcome solve(std::span<const Constraint> extra) { return lp_.solve_with(extra); }

    LpOutcome solve_node(std::uint64_t index) { return solve(bounds_.for_node(index, nodes_)); }

    void explore(std::uint64_t index) {
        if (is_pruned(nodes_[index].bound, incumbent_objective_, maximize_)) return;
        LpOutcome outcome = solve_node(index);
        if (outcome.kind == LpOutcome::Kind::Unknown) {
            unresolved_.push_back(index);
            if (!unresolved_error_) unresolved_error_ = outcome.error;
            return;
        }
        if (outcome.kind != LpOutcome::Kind::Optimal) return;
        if (is_integral(outcome.model, integers_)) {
            const double o = outcome.objective;
            if (maximize_ ? o > incumbent_objective_ : o < incumbent_objective_) {
                incumbent_ = std::move(outcome.model);
                incumbent_objective_ = o;
            }
            return;
        }
        branch(outcome.model, outcome.objective, index);
    }

    // Creates the down child, then the up child, on the first integer variable whose value has
    // a fractional part inside the branching window; both are queued with key `objective`.
    void branch(const Model& model, double objective, std::optional<std::uint64_t> parent) {
        for (VarId v : integers_) {
            const double x = value_of(model, v);
            const double fraction = x - std::floor(x);
            if (!(fraction > BRANCH_FRAC_LOW && fraction < BRANCH_FRAC_HIGH)) continue;
            // The root's children carry no bound, so they are never pruned.
            const std::optional<double> bound = parent ? std::optional<double>(objective) : std::nullopt;
            add_child(bound, {v, std::nullopt, Rational::from_f64(std::floor(x))}, parent, objective);
            add_child(bound, {v, Rational::from_f64(std::ceil(x)), std::nullopt}, parent, objective);
            return;
        }
        fail_invariant("a non-integral solution has no branching variable");
    }

    void add_child(std::optional<double> bound, VarBound decision, std::optional<std::uint64_t> parent,
                   double key) {
        nodes_.push_back({bound, std::move(decision), parent});
        queue_.push(key, nodes_.size() - 1);
    }

    // A search cut short is reported optimal only when every node it did not finish would be
    // pruned by the final incumbent; otherwise the incumbent is merely feasible.
    LpOutcome finish(std::optional<std::uint64_t> cut_at) {
        if (incumbent_) {
            bool proven = !cut_at || is_pruned(nodes_[*cut_at].bound, incumbent_objective_, maximize_);
            for (const QueueEntry& open : queue_.entries())
                proven = proven && is_pruned(nodes_[open.node].bound, incumbent_objective_, maximize_);
            for (std::uint64_t index : unresolved_)
                proven = proven && is_pruned(nodes_[index].bound, incumbent_objective_, maximize_);
            if (proven) return LpOutcome::optimal(incumbent_objective_, std::move(*incumbent_));
            return LpOutcome::feasible(std::move(*incumbent_));
        }
        if (cut_at || explored_ >= MAX_NODES)
            return LpOutcome::unknown(SolverError{SolverError::Kind::ResourceLimit, {}});
        if (unresolved_error_) return LpOutcome::unknown(*unresolved_error_);
        return LpOutcome::infeasible();
    }

    LpSolver lp_;
    NodeConstraints bounds_;
    const bool maximize_;
    std::vector<VarId> integers_;
    std::vector<BranchNode> nodes_;
    NodeQueue queue_;
    std::optional<Model> incumbent_;
    double incumbent_objective_;
    std::uint64_t explored_ = 0;
    std::vector<std::uint64_t> unresolved_;  // explored nodes whose relaxation ended Unknown
    std::optional<SolverError> unresolved_error_;
};

}  // namespace

MilpSearch search_milp(const LinearProgram& program) { return Search(program).run(); }

LpOutcome solve_milp(const LinearProgram& program) { return search_milp(program).outcome; }

}  // namespace mekra::milp
