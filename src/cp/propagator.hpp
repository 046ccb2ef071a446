#pragma once
// Bounds propagation over interval domains.
//
// Every constraint has a narrowing rule (Eq, Neq, Lt, Le, Linear, AllDiff). Each rule only
// ever removes values and removes no fewer from smaller domains, so all orders of applying
// them (or their steps) reach the same fixpoint and fail on the same states. The store
// therefore keeps a queue of rules whose variables changed instead of rerunning every
// constraint, and records changed bounds on a trail so that search can restore a branch
// without copying domains.
//
// The queue runs the rule of lowest rank first. Lt and Le are split into their two steps
// (upper bound of a from b, lower bound of b from a), ranked along a depth-first order of the
// difference constraints, so that bounds flow down a chain x1 < x2 < ... < xn in one sweep
// each way instead of one sweep per link.
//
// Each Linear rule keeps the smallest and largest sum of its terms beside the domains, moved
// with every changed or restored bound, so a run reads only the terms it may narrow.
//
// Arithmetic is exact: a computed bound that lies outside the 64-bit range empties the domain
// (or changes nothing, on the far side).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cp/difference_cycle.hpp"
#include "cp/exact.hpp"
#include "cp/model.hpp"

namespace mekra::cp {

struct Domain {
    std::int64_t lo;
    std::int64_t hi;

    bool fixed() const { return lo == hi; }
    bool empty() const { return lo > hi; }
    friend bool operator==(const Domain&, const Domain&) = default;
};

class CpStore {
public:
    explicit CpStore(const CpModel& model);

    // problem
    std::size_t size() const { return domains_.size(); }
    const std::vector<Domain>& domains() const { return domains_; }
    const Domain& domain(std::size_t var) const { return domains_[var]; }
    const std::vector<CpConstraint>& constraints() const { return constraints_; }

    // True when the model can be seen to have no solution before any propagation: a declared
    // empty domain (never fixed by search); a cycle of difference constraints (a <= b + c
    // from le, lt, eq and two-term linears with opposite coefficients) whose constants sum
    // below zero (propagation would shave the cycle's bounds until one empties); or a neq or
    // allDiff over two positions that such constraints tie equal (the same variable twice,
    // or variables on a cycle of constants summing to zero), which search would otherwise
    // refute one value of a possibly huge domain at a time.
    bool certainly_infeasible() const { return certainly_infeasible_; }

    // Replaces a domain directly (for setting up states); records nothing on the trail.
    void set_domain(std::size_t var, Domain d);

    // solving: search uses these
    // Fixes `var` to `value`, recording the old bounds, and queues its constraints.
    void assign(std::size_t var, std::int64_t value);
    // Queues every constraint, as on a fresh store.
    void queue_all();
    // Runs queued constraints until the queue is empty (a fixpoint: true) or a rule fails
    // (false; the queue is cleared and the domains are meaningless until restored).
    bool run_queue();

    // Starts a new branch: bounds changed from now on are recorded once per variable.
    void new_branch() { ++stamp_; }
    std::size_t trail_mark() const { return trail_.size(); }
    // Restores every bound recorded after `mark`.
    void undo_to(std::size_t mark);

    // Variables whose bounds changed or were restored since the last call, each once.
    template <class F>
    void drain_touched(F&& each) {
        for (std::size_t var : touched_) {
            touched_flag_[var] = 0;
            each(var);
        }
        touched_.clear();
    }

    // Whether the values lo of the fixed domains satisfy every constraint, exactly.
    bool satisfied_by_fixed() const;

private:
    // LeUpper: lower hi(a) to hi(b) + c; LeLower: raise lo(b) to lo(a) - c (the two steps
    // of Le, and of Lt with c = -1).
    // Offset: a = b + c, a Linear 1*a - 1*b = c, whose rule narrows to the same fixpoint.
    enum class Kind : std::uint8_t { Eq, Neq, LeUpper, LeLower, Linear, AllDiff, Offset };

    // A constraint compiled for propagation. Linear terms on one variable are merged (their
    // coefficients summed, at the variable's first position) and zero terms dropped.
    struct Rule {
        Kind kind;
        LinearRelation relation = LinearRelation::Le;
        bool idempotent = true;  // a run leaves the rule at its own fixpoint
        std::size_t a = 0, b = 0;
        std::int64_t c = 0;              // Le's constant, or the Linear right-hand side
        std::size_t begin = 0, end = 0;  // Linear: terms_[begin, end); AllDiff: vars_[begin, end)
        std::size_t sums = 0;            // Linear: its entry in sums_
    };

    // A merged Linear term; the sum of several 64-bit coefficients may need more bits.
    // `reach` is |coeff| times the width of the declared domain (UNBOUNDED_REACH when that
    // does not fit): no narrowing of the term can move the sums by more, so the term has
    // nothing to narrow while both sides of its rule have at least that much room.
    struct Term {
        Int128 coeff;
        std::size_t var;
        Int128 reach = 0;
    };
    static constexpr Int128 UNBOUNDED_REACH = INT128_MAX_VALUE;

    // The smallest and largest sum a Linear rule's terms can reach over the current domains,
    // kept up to date on every change of a bound and on every undo, so that a run costs no
    // more than the terms it may narrow. A term over an empty domain (declared so, or set)
    // makes the rule fail. When the coefficients fit in 64 bits and their magnitudes add up
    // to less than 2^64, the sums stay within 128 bits for any 64-bit bounds and are kept as
    // Int128; otherwise exactly.
    struct LinearSums {
        bool exact = false;
        Int128 min = 0, max = 0;  // unless exact
        ExactSum exact_min, exact_max;
        std::size_t empty_terms = 0;
    };
    // A variable's place in one Linear rule.
    struct LinearOccurrence {
        std::size_t sums;
        std::size_t term;
    };

    struct TrailEntry {
        std::size_t var;
        Domain old;
    };

    // A queue of rule ids in first-in first-out order, as long as the rule list.
    struct Ring {
        std::vector<std::size_t> slots;
        std::size_t head = 0, count = 0;
        void push(std::size_t rule);
        std::size_t pop();
    };

    // compiling (rule_compiler.cpp)
    void compile(const CpConstraint& constraint);
    void compile_linear(const Linear& linear);
    void rank_rules();
    // certain_infeasibility.cpp
    std::vector<DifferenceEdge> difference_edges() const;
    void detect_certain_infeasibility();

    // the pair rules (pair_rules.cpp)
    bool run_eq(const Rule& r);
    bool run_neq(const Rule& r);
    bool run_offset(const Rule& r);
    bool run_le_upper(const Rule& r);
    bool run_le_lower(const Rule& r);

    // the Linear rule (linear_rule.cpp)
    void init_linear_sums();
    // Moves the sums of the Linear rules over `var` from its domain `before` to the current one.
    void move_linear_sums(std::size_t var, const Domain& before);
    bool run_linear(const Rule& r);
    // Rules of this many terms or more keep their sums; shorter ones form them afresh in each
    // run.
    static constexpr std::size_t KEPT_SUMS_FROM_TERMS = 32;
    static bool keeps_sums(const Rule& r) { return r.end - r.begin >= KEPT_SUMS_FROM_TERMS; }
    // `kept`: min and max are the rule's kept sums, moved by every change; otherwise the run's
    // own, moved here.
    template <class Sum>
    bool run_linear_over(const Rule& r, Sum& min, Sum& max, bool kept);

    // the AllDiff rule (alldiff_rule.cpp)
    bool run_alldiff(const Rule& r);
    bool run_alldiff_marked(const Rule& r, std::int64_t base, std::size_t range);
    template <class Taken>
    bool shave_taken_ends(const Rule& r, Taken taken, bool& newly_fixed);

    // the store (store.cpp)
    bool run(std::size_t rule);
    // Raise lo(var) to v / lower hi(var) to v, then check var (false when it is empty).
    bool raise_lo(std::size_t var, Int128 v);
    bool lower_hi(std::size_t var, Int128 v);
    // Shaves v from var's domain when v is one of its ends: Neq's and AllDiff's step.
    bool remove_end(std::size_t var, std::int64_t v);
    void changed(std::size_t var, const Domain& old);
    void touch(std::size_t var);
    void enqueue(std::size_t rule);
    // Heap order: x runs after y.
    bool later(std::size_t x, std::size_t y) const {
        return rank_[x] != rank_[y] ? rank_[x] > rank_[y] : x > y;
    }
    void clear_queue();

    // problem
    std::vector<Domain> domains_;
    std::vector<CpConstraint> constraints_;
    std::vector<Rule> rules_;
    std::vector<Term> terms_;
    std::vector<std::size_t> vars_;
    std::vector<std::vector<std::size_t>> watches_;  // per variable: the rules that read it
    std::vector<LinearSums> sums_;
    std::vector<std::vector<LinearOccurrence>> linear_occurrences_;  // per variable
    std::vector<Domain> declared_;
    // Every domain lies within its declared one, so every term's reach bounds its moves (a
    // domain set wider than declared turns the shortcut off).
    bool within_declared_ = true;
    bool certainly_infeasible_ = false;

    // propagation queue: a binary heap on (rank, rule) for the ranked steps of Lt and Le, a
    // ring for the other rules, which run when the heap is empty; every rule is queued at
    // most once
    static constexpr std::size_t UNRANKED = SIZE_MAX;
    static constexpr std::size_t NO_RULE = SIZE_MAX;  // running_ between runs
    std::vector<std::size_t> rank_;
    std::vector<std::size_t> heap_;
    // AllDiff rules wait in the second ring until the first is empty, so that one run takes in
    // the changes of many cheap rules
    static constexpr std::size_t CHEAP_RING = 0, ALLDIFF_RING = 1;
    Ring rings_[2];
    std::vector<char> queued_;
    std::size_t running_ = NO_RULE;

    // trail
    std::vector<TrailEntry> trail_;
    std::vector<std::uint64_t> saved_at_;  // per variable: the branch stamp of its last record
    static constexpr std::uint64_t NEVER_SAVED = 0;
    std::uint64_t stamp_ = 1;

    std::vector<std::size_t> touched_;
    std::vector<char> touched_flag_;

    std::vector<std::int64_t> scratch_;  // AllDiff's fixed values
    std::vector<std::uint64_t> marks_;   // AllDiff's fixed values over a short range: stamps
    std::uint64_t mark_stamp_ = 0;
};

// The narrowing steps every rule runs, here so that their no-change path inlines into the
// rules.
inline bool CpStore::raise_lo(std::size_t var, Int128 v) {
    Domain& d = domains_[var];
    if (v > d.lo) {
        if (v > d.hi) return false;  // the domain would be empty
        Domain old = d;
        d.lo = static_cast<std::int64_t>(v);
        changed(var, old);
    }
    return d.lo <= d.hi;
}

inline bool CpStore::lower_hi(std::size_t var, Int128 v) {
    Domain& d = domains_[var];
    if (v < d.hi) {
        if (v < d.lo) return false;
        Domain old = d;
        d.hi = static_cast<std::int64_t>(v);
        changed(var, old);
    }
    return d.lo <= d.hi;
}

inline bool CpStore::remove_end(std::size_t var, std::int64_t v) {
    const Domain& d = domains_[var];
    if (d.lo > v || v > d.hi) return true;
    if (v == d.lo) return raise_lo(var, static_cast<Int128>(v) + 1);
    if (v == d.hi) return lower_hi(var, static_cast<Int128>(v) - 1);
    return d.lo <= d.hi;
}

// Runs every constraint's rule to a fixpoint; false when a rule fails.
bool propagate(CpStore& store);

}  // namespace mekra::cp
