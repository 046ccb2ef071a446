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
// Arithmetic is exact: a computed bound that lies outside the 64-bit range empties the domain
// (or changes nothing, on the far side).

#include <cstddef>
#include <cstdint>
#include <vector>

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
    // empty domain (never fixed by search), or a cycle of difference constraints
    // (a <= b + c from le, lt, eq and two-term linears with opposite coefficients) whose
    // constants sum below zero (propagation would shave the cycle's bounds until one empties).
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
        bool wide = false;       // Linear: some merged coefficient needs more than 64 bits
        std::size_t a = 0, b = 0;
        std::int64_t c = 0;              // Le's constant, or the Linear right-hand side
        std::size_t begin = 0, end = 0;  // Linear: terms_[begin, end); AllDiff: vars_[begin, end)
    };

    // A merged Linear term; the sum of several 64-bit coefficients may need more bits.
    struct Term {
        Int128 coeff;
        std::size_t var;
    };

    struct TrailEntry {
        std::size_t var;
        Domain old;
    };

    void compile(const CpConstraint& constraint);
    void compile_linear(const Linear& linear);
    void detect_infeasible_cycle();

    bool run(std::size_t rule);
    bool run_eq(const Rule& r);
    bool run_neq(const Rule& r);
    bool run_offset(const Rule& r);
    void rank_rules();
    bool run_linear(const Rule& r);
    enum class Run : std::uint8_t { Failed, Done, Overflow };
    template <class T>
    Run run_linear_in(const Rule& r);
    bool run_linear_exact(const Rule& r);
    bool narrow_term(LinearRelation relation, const Term& term, const ExactSum& below, const ExactSum& above);
    bool run_alldiff(const Rule& r);
    bool run_alldiff_marked(const Rule& r, std::int64_t base, std::size_t range);
    template <class Taken>
    bool shave_taken_ends(const Rule& r, Taken taken, bool& newly_fixed);

    // Raise lo(var) to v / lower hi(var) to v, then check var (false when it is empty).
    bool raise_lo(std::size_t var, Int128 v);
    bool lower_hi(std::size_t var, Int128 v);
    // Shaves v from var's domain when v is one of its ends: Neq's and AllDiff's step.
    bool remove_end(std::size_t var, std::int64_t v);
    void changed(std::size_t var, const Domain& old);
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
    bool certainly_infeasible_ = false;

    // propagation queue: a binary heap on (rank, rule) for the ranked steps of Lt and Le, a
    // ring for the other rules, which run when the heap is empty; every rule is queued at
    // most once
    static constexpr std::size_t UNRANKED = SIZE_MAX;
    std::vector<std::size_t> rank_;
    std::vector<std::size_t> heap_;
    // AllDiff rules wait in the second ring until the first is empty, so that one run takes in
    // the changes of many cheap rules
    struct Ring {
        std::vector<std::size_t> slots;
        std::size_t head = 0, count = 0;
        void push(std::size_t rule) {
            std::size_t slot = head + count;
            if (slot >= slots.size()) slot -= slots.size();
            slots[slot] = rule;
            ++count;
        }
        std::size_t pop() {
            std::size_t rule = slots[head];
            if (++head == slots.size()) head = 0;
            --count;
            return rule;
        }
    };
    Ring rings_[2];
    std::vector<char> queued_;
    std::size_t running_ = SIZE_MAX;

    // trail
    std::vector<TrailEntry> trail_;
    std::vector<std::uint64_t> saved_at_;  // per variable: the branch stamp of its last record
    std::uint64_t stamp_ = 1;

    std::vector<std::size_t> touched_;
    std::vector<char> touched_flag_;

    std::vector<std::int64_t> scratch_;  // AllDiff's fixed values
    std::vector<std::uint64_t> marks_;   // AllDiff's fixed values over a short range: stamps
    std::uint64_t mark_stamp_ = 0;
};

// Runs every constraint's rule to a fixpoint; false when a rule fails.
bool propagate(CpStore& store);

}  // namespace mekra::cp
