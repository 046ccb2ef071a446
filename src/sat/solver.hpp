#pragma once
// The CDCL SAT solver: clause storage, watch lists, trail, activity heuristic and search.
//
// The search is deliberately plain and its answers depend on every detail: propagation
// moves watches but never forces a literal (values come only from decisions and from
// asserted learned clauses), there are no restarts and activities are never rescaled.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/outcome.hpp"
#include "sat/clause.hpp"
#include "sat/dimacs.hpp"
#include "sat/heuristics.hpp"
#include "sat/literal.hpp"
#include "sat/trail.hpp"
#include "sat/watch.hpp"

namespace mekra::sat {

// What the solver holds for each variable: assignment, trail position, two watch lists,
// activity, heap slot and position, seen flag, its trail entry and its model entry.
inline constexpr std::uint64_t BYTES_PER_VARIABLE =
    sizeof(Value) + sizeof(std::uint32_t) + 2 * sizeof(std::vector<ClauseIndex>) + sizeof(double) +
    2 * sizeof(std::uint32_t) + sizeof(std::uint8_t) + sizeof(TrailEntry) + sizeof(ModelEntry);
// Per-variable storage is bounded to 4 GiB, so that the solver, the model dictionary built
// from it and the learned clauses stay well inside the memory of an ordinary machine.
inline constexpr std::uint64_t VARIABLE_STORAGE_BUDGET = std::uint64_t{4} << 30;
inline constexpr std::uint64_t MAX_VARIABLES = VARIABLE_STORAGE_BUDGET / BYTES_PER_VARIABLE;

// Maintained for tests and measurement; never part of an answer.
struct SatCounters {
    std::uint64_t decisions = 0;
    std::uint64_t propagations = 0;  // literals asserted from learned clauses
    std::uint64_t conflicts = 0;
    std::uint64_t propagated = 0;     // trail entries processed by propagate_one
    std::uint64_t clause_visits = 0;  // watch-list entries walked by propagate_one
};

class SatSolver {
public:
    // Grows every per-variable list to k variables; nothing happens if k <= n.
    // k must not exceed MAX_VARIABLES (callers check the formula first).
    void ensure_vars(std::uint64_t k);

    // Sizes the clause arena and every watch list for loading `formula` (after ensure_vars
    // for its variables), so that loading does not grow them step by step. Optional.
    void reserve_for(const CnfFormula& formula);

    // Loads one clause of DIMACS literals (none of them 0). Called for every clause before solve().
    void add_clause(std::span<const std::int32_t> dimacs);

    // Runs the search to the end: Sat with a model of all n variables, or Unsat.
    SatOutcome solve();

    // Inspection, for tests and measurement.
    const ClauseArena& clauses() const { return clauses_; }
    const Watches& watches() const { return watches_; }
    const Trail& trail() const { return trail_; }
    const ActivityHeuristic& heuristic() const { return heuristic_; }
    const SatCounters& counters() const { return counters_; }

private:
    void assign(Var v, bool value, ClauseIndex reason);
    void watch_first_two(ClauseIndex c, Literal first, Literal second);
    // Processes the trail entry at qhead; returns a conflicting clause, if any.
    std::optional<ClauseIndex> propagate_one();
    // Leaves the walked watch list of `code` as the walk's removals of its first `walked`
    // entries would.
    void finish_walk(std::uint32_t code, std::size_t walked);
    void decide();
    void analyze(ClauseIndex conflict);
    void visit(Literal q, std::uint32_t conflict_level);
    void backjump(std::uint32_t level);
    Model model() const;

    ClauseArena clauses_;
    std::vector<Value> assignment_;
    std::vector<std::uint32_t> trail_position_;  // NO_POSITION while unassigned
    Trail trail_;
    Watches watches_;
    ActivityHeuristic heuristic_;
    SatCounters counters_;
    bool has_empty_clause_ = false;

    // Work space reused across calls: loading, propagation and conflict analysis.
    std::vector<Literal> literals_;
    std::vector<ClauseIndex> removed_;
    std::vector<std::uint32_t> twins_;
    std::vector<std::uint8_t> seen_;  // all zero between conflicts
    std::vector<Var> seen_vars_;      // variables marked during the current conflict
    std::vector<Literal> learnt_;     // [UIP negation, tail...]
    std::uint32_t open_count_ = 0;    // marked, unresolved variables of the conflict level
    std::uint32_t backjump_level_ = 0;
};

}  // namespace mekra::sat
