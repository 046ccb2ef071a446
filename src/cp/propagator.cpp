#include "cp/propagator.hpp"

#include <algorithm>
#include <unordered_map>

#include "core/invariant.hpp"
#include "cp/difference_cycle.hpp"

namespace mekra::cp {

namespace {

bool fits_64(Int128 v) { return v >= INT64_MIN && v <= INT64_MAX; }

// coeff * v exactly; a 64-bit coefficient gives a 128-bit product directly.
ExactSum product(Int128 coeff, std::int64_t v) {
    if (fits_64(coeff)) return ExactSum(coeff * v);
    return ExactSum::product(coeff, v);
}

// Smallest and largest value of coeff * x over x's domain.
ExactSum min_product(Int128 coeff, const Domain& d) { return product(coeff, coeff > 0 ? d.lo : d.hi); }
ExactSum max_product(Int128 coeff, const Domain& d) { return product(coeff, coeff > 0 ? d.hi : d.lo); }

// floor(n / k) (up = false) or ceil(n / k) (up = true), exact wherever it lies within
// [d.lo - 1, d.hi + 1]; beyond that only its side of the domain is kept.
Int128 bound_quotient(const ExactSum& n, Int128 k, bool up, const Domain& d) {
    if (fits_64(k)) {
        // |n| beyond 2^127 over |k| <= 2^63 lies beyond the 64-bit range: clamping is exact
        // in effect.
        Int128 clamped = n.clamped();
        return up ? ceil_div(clamped, k) : floor_div(clamped, k);
    }
    // A merged coefficient wider than 64 bits: search the domain for the boundary, comparing
    // k * v with n exactly.
    auto k_times_minus_n = [&](std::int64_t v) {
        ExactSum p = ExactSum::product(k, v);
        p -= n;
        return p.sign();
    };
    if (!up) {
        // largest v with v <= n / k: k * v <= n for k > 0, k * v >= n for k < 0
        auto ok = [&](std::int64_t v) { return k > 0 ? k_times_minus_n(v) <= 0 : k_times_minus_n(v) >= 0; };
        if (ok(d.hi)) return d.hi;
        if (!ok(d.lo)) return static_cast<Int128>(d.lo) - 1;
        Int128 good = d.lo, bad = d.hi;  // ok(good), !ok(bad)
        while (bad - good > 1) {
            Int128 mid = good + (bad - good) / 2;
            (ok(static_cast<std::int64_t>(mid)) ? good : bad) = mid;
        }
        return good;
    }
    // smallest v with v >= n / k
    auto ok = [&](std::int64_t v) { return k > 0 ? k_times_minus_n(v) >= 0 : k_times_minus_n(v) <= 0; };
    if (ok(d.lo)) return d.lo;
    if (!ok(d.hi)) return static_cast<Int128>(d.hi) + 1;
    Int128 bad = d.lo, good = d.hi;
    while (good - bad > 1) {
        Int128 mid = bad + (good - bad) / 2;
        (ok(static_cast<std::int64_t>(mid)) ? good : bad) = mid;
    }
    return good;
}

bool relation_holds(Int128 lhs, LinearRelation relation, Int128 rhs) {
    switch (relation) {
        case LinearRelation::Le:
            return lhs <= rhs;
        case LinearRelation::Eq:
            return lhs == rhs;
        case LinearRelation::Ge:
            return lhs >= rhs;
    }
    fail_invariant("unknown linear relation");
}

}  // namespace

CpStore::CpStore(const CpModel& model) : constraints_(model.constraints) {
    const std::size_t n = model.variables.size();
    domains_.reserve(n);
    for (const CpVariable& v : model.variables) {
        domains_.push_back({v.min, v.max});
        if (v.min > v.max) certainly_infeasible_ = true;
    }
    watches_.resize(n);
    for (const CpConstraint& constraint : constraints_) compile(constraint);
    queued_.assign(rules_.size(), 0);
    saved_at_.assign(n, 0);
    touched_flag_.assign(n, 0);
    if (!certainly_infeasible_) detect_infeasible_cycle();
    rank_rules();
}

void CpStore::rank_rules() {
    // hi flows from b to a along a <= b + c, lo from a to b
    std::vector<DifferenceEdge> edges;
    for (const Rule& r : rules_) {
        if (r.kind == Kind::LeUpper) edges.push_back({r.b, r.a, 0});
    }
    const std::size_t n = domains_.size();
    std::vector<std::size_t> position(n, 0);
    std::vector<std::size_t> order = depth_first_order(n, edges);
    for (std::size_t i = 0; i < order.size(); ++i) position[order[i]] = i;
    rank_.resize(rules_.size());
    for (std::size_t id = 0; id < rules_.size(); ++id) {
        const Rule& r = rules_[id];
        if (r.kind == Kind::LeUpper) {
            rank_[id] = position[r.b];
        } else if (r.kind == Kind::LeLower) {
            rank_[id] = n - 1 - position[r.a];
        } else {
            rank_[id] = UNRANKED;
        }
    }
    for (Ring& ring : rings_) ring.slots.resize(rules_.size());
}

void CpStore::compile(const CpConstraint& constraint) {
    const std::size_t id = rules_.size();
    auto watch = [&](std::size_t var) {
        check_invariant(var < domains_.size(), "constraint names a variable outside the model");
        std::vector<std::size_t>& list = watches_[var];
        if (list.empty() || list.back() != id) list.push_back(id);
    };
    // The second step of a split rule watches its own variable: it reads only lo(a), and the
    // first step reads only hi(b); a step that narrows its own variable checks it at once.
    auto watch_next = [&](std::size_t var) { watches_[var].push_back(id + 1); };
    if (const auto* eq = std::get_if<Eq>(&constraint)) {
        rules_.push_back({.kind = Kind::Eq, .idempotent = eq->a != eq->b, .a = eq->a, .b = eq->b});
        watch(eq->a), watch(eq->b);
    } else if (const auto* neq = std::get_if<Neq>(&constraint)) {
        rules_.push_back({.kind = Kind::Neq, .idempotent = neq->a != neq->b, .a = neq->a, .b = neq->b});
        watch(neq->a), watch(neq->b);
    } else if (const auto* lt = std::get_if<Lt>(&constraint)) {
        const bool distinct = lt->a != lt->b;
        rules_.push_back({.kind = Kind::LeUpper, .idempotent = distinct, .a = lt->a, .b = lt->b, .c = -1});
        watch(lt->b);
        rules_.push_back({.kind = Kind::LeLower, .idempotent = distinct, .a = lt->a, .b = lt->b, .c = -1});
        watch_next(lt->a);
    } else if (const auto* le = std::get_if<Le>(&constraint)) {
        const bool distinct = le->a != le->b;
        rules_.push_back({.kind = Kind::LeUpper, .idempotent = distinct, .a = le->a, .b = le->b, .c = le->c});
        watch(le->b);
        rules_.push_back({.kind = Kind::LeLower, .idempotent = distinct, .a = le->a, .b = le->b, .c = le->c});
        watch_next(le->a);
    } else if (const auto* linear = std::get_if<Linear>(&constraint)) {
        compile_linear(*linear);
        const Rule& rule = rules_.back();
        if (rule.kind == Kind::Offset) {
            watch(rule.a), watch(rule.b);
        } else {
            for (std::size_t t = rule.begin; t < rule.end; ++t) watch(terms_[t].var);
        }
    } else {
        const auto& all = std::get<AllDiff>(constraint);
        Rule rule{.kind = Kind::AllDiff, .begin = vars_.size()};
        for (VarIndex var : all.vars) {
            vars_.push_back(var);
        }
        rule.end = vars_.size();
        rules_.push_back(rule);
        // Watch each variable once even when it is listed twice.
        std::vector<std::size_t> sorted(all.vars.begin(), all.vars.end());
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        for (std::size_t var : sorted) watch(var);
    }
}

void CpStore::compile_linear(const Linear& linear) {
    std::unordered_map<VarIndex, std::size_t> position;
    std::vector<Term> merged;
    for (const LinearTerm& term : linear.terms) {
        auto [it, inserted] = position.try_emplace(term.var, merged.size());
        if (inserted) {
            merged.push_back({term.coeff, term.var});
        } else {
            merged[it->second].coeff += term.coeff;
        }
    }
    Rule rule{.kind = Kind::Linear, .relation = linear.relation, .c = linear.rhs, .begin = terms_.size()};
    for (const Term& term : merged) {
        if (term.coeff != 0) terms_.push_back(term);
    }
    rule.end = terms_.size();
    if (linear.relation == LinearRelation::Eq && rule.end - rule.begin == 2 &&
        terms_[rule.begin].coeff == -terms_[rule.begin + 1].coeff &&
        (terms_[rule.begin].coeff == 1 || terms_[rule.begin].coeff == -1)) {
        // a - b = rhs holds at a fixpoint exactly when lo(a) = lo(b) + rhs and
        // hi(a) = hi(b) + rhs, which the Offset rule reaches in one step
        const bool first_positive = terms_[rule.begin].coeff == 1;
        const std::size_t a = terms_[rule.begin + (first_positive ? 0 : 1)].var;
        const std::size_t b = terms_[rule.begin + (first_positive ? 1 : 0)].var;
        terms_.resize(rule.begin);
        rules_.push_back({.kind = Kind::Offset, .a = a, .b = b, .c = linear.rhs});
        return;
    }
    for (std::size_t t = rule.begin; t < rule.end; ++t) {
        if (!fits_64(terms_[t].coeff)) rule.wide = true;
    }
    // With only Le or Ge, narrowing one term never changes the sums the others read.
    rule.idempotent = linear.relation != LinearRelation::Eq;
    rules_.push_back(rule);
}

void CpStore::detect_infeasible_cycle() {
    std::vector<DifferenceEdge> edges;
    for (const Rule& r : rules_) {
        switch (r.kind) {
            case Kind::Eq:
                edges.push_back({r.b, r.a, 0});
                edges.push_back({r.a, r.b, 0});
                break;
            case Kind::LeUpper:
                edges.push_back({r.b, r.a, r.c});
                break;
            case Kind::Offset:
                edges.push_back({r.b, r.a, r.c});
                edges.push_back({r.a, r.b, -static_cast<Int128>(r.c)});
                break;
            case Kind::Linear: {
                if (r.end - r.begin != 2) break;
                Term x = terms_[r.begin], y = terms_[r.begin + 1];
                if (x.coeff != -y.coeff) break;
                if (x.coeff < 0) std::swap(x, y);
                // k*x - k*y rel rhs with k > 0: x <= y + floor(rhs/k), y <= x - ceil(rhs/k).
                Int128 k = x.coeff;
                if (r.relation != LinearRelation::Ge) edges.push_back({y.var, x.var, floor_div(r.c, k)});
                if (r.relation != LinearRelation::Le) edges.push_back({x.var, y.var, -ceil_div(r.c, k)});
                break;
            }
            default:
                break;
        }
    }
    if (has_negative_cycle(domains_.size(), edges)) certainly_infeasible_ = true;
}

void CpStore::set_domain(std::size_t var, Domain d) {
    domains_[var] = d;
    if (!touched_flag_[var]) {
        touched_flag_[var] = 1;
        touched_.push_back(var);
    }
}

void CpStore::changed(std::size_t var, const Domain& old) {
    if (saved_at_[var] != stamp_) {
        saved_at_[var] = stamp_;
        trail_.push_back({var, old});
    }
    if (!touched_flag_[var]) {
        touched_flag_[var] = 1;
        touched_.push_back(var);
    }
    for (std::size_t rule : watches_[var]) {
        if (rule == running_ && rules_[rule].idempotent) continue;
        enqueue(rule);
    }
}

void CpStore::enqueue(std::size_t rule) {
    if (queued_[rule]) return;
    queued_[rule] = 1;
    if (rank_[rule] == UNRANKED) {
        rings_[rules_[rule].kind == Kind::AllDiff ? 1 : 0].push(rule);
        return;
    }
    heap_.push_back(rule);
    std::push_heap(heap_.begin(), heap_.end(), [this](std::size_t x, std::size_t y) { return later(x, y); });
}

void CpStore::clear_queue() {
    for (std::size_t rule : heap_) queued_[rule] = 0;
    heap_.clear();
    for (Ring& ring : rings_) {
        while (ring.count > 0) queued_[ring.pop()] = 0;
    }
}

void CpStore::queue_all() {
    for (std::size_t rule = 0; rule < rules_.size(); ++rule) enqueue(rule);
}

void CpStore::assign(std::size_t var, std::int64_t value) {
    check_invariant(var < domains_.size(), "branching variable outside the model");
    Domain old = domains_[var];
    domains_[var] = {value, value};
    changed(var, old);
}

void CpStore::undo_to(std::size_t mark) {
    while (trail_.size() > mark) {
        const TrailEntry& entry = trail_.back();
        domains_[entry.var] = entry.old;
        saved_at_[entry.var] = 0;
        if (!touched_flag_[entry.var]) {
            touched_flag_[entry.var] = 1;
            touched_.push_back(entry.var);
        }
        trail_.pop_back();
    }
}

bool CpStore::run_queue() {
    while (!heap_.empty() || rings_[0].count > 0 || rings_[1].count > 0) {
        std::size_t rule;
        if (!heap_.empty()) {
            std::pop_heap(heap_.begin(), heap_.end(),
                          [this](std::size_t x, std::size_t y) { return later(x, y); });
            rule = heap_.back();
            heap_.pop_back();
        } else {
            rule = (rings_[0].count > 0 ? rings_[0] : rings_[1]).pop();
        }
        queued_[rule] = 0;
        running_ = rule;
        bool ok = run(rule);
        running_ = SIZE_MAX;
        if (!ok) {
            clear_queue();
            return false;
        }
    }
    return true;
}

bool propagate(CpStore& store) {
    store.queue_all();
    return store.run_queue();
}

// ---- narrowing steps -------------------------------------------------------------------

bool CpStore::raise_lo(std::size_t var, Int128 v) {
    Domain& d = domains_[var];
    if (v > d.lo) {
        if (v > d.hi) return false;  // the domain would be empty
        Domain old = d;
        d.lo = static_cast<std::int64_t>(v);
        changed(var, old);
    }
    return d.lo <= d.hi;
}

bool CpStore::lower_hi(std::size_t var, Int128 v) {
    Domain& d = domains_[var];
    if (v < d.hi) {
        if (v < d.lo) return false;
        Domain old = d;
        d.hi = static_cast<std::int64_t>(v);
        changed(var, old);
    }
    return d.lo <= d.hi;
}

bool CpStore::remove_end(std::size_t var, std::int64_t v) {
    const Domain& d = domains_[var];
    if (d.lo > v || v > d.hi) return true;
    if (v == d.lo) return raise_lo(var, static_cast<Int128>(v) + 1);
    if (v == d.hi) return lower_hi(var, static_cast<Int128>(v) - 1);
    return d.lo <= d.hi;
}

// ---- rules -------------------------------------------------------------------------------

bool CpStore::run(std::size_t rule) {
    const Rule& r = rules_[rule];
    switch (r.kind) {
        case Kind::Eq:
            return run_eq(r);
        case Kind::Neq:
            return run_neq(r);
        case Kind::LeUpper:
            return lower_hi(r.a, static_cast<Int128>(domains_[r.b].hi) + r.c);
        case Kind::LeLower:
            return raise_lo(r.b, static_cast<Int128>(domains_[r.a].lo) - r.c);
        case Kind::Linear:
            return run_linear(r);
        case Kind::AllDiff:
            return run_alldiff(r);
        case Kind::Offset:
            return run_offset(r);
    }
    fail_invariant("unknown constraint kind");
}

bool CpStore::run_eq(const Rule& r) {
    std::int64_t low = std::max(domains_[r.a].lo, domains_[r.b].lo);
    std::int64_t high = std::min(domains_[r.a].hi, domains_[r.b].hi);
    if (low > high) return false;
    return raise_lo(r.a, low) && raise_lo(r.b, low) && lower_hi(r.a, high) && lower_hi(r.b, high);
}

// a = b + c
bool CpStore::run_offset(const Rule& r) {
    const Int128 c = r.c;
    const Int128 low = std::max<Int128>(domains_[r.a].lo, domains_[r.b].lo + c);
    const Int128 high = std::min<Int128>(domains_[r.a].hi, domains_[r.b].hi + c);
    if (low > high) return false;
    return raise_lo(r.a, low) && lower_hi(r.a, high) && raise_lo(r.b, low - c) && lower_hi(r.b, high - c);
}

bool CpStore::run_neq(const Rule& r) {
    const Domain& a = domains_[r.a];
    const Domain& b = domains_[r.b];
    if (a.fixed() && b.fixed() && a.lo == b.lo) return false;
    if (a.fixed() && !remove_end(r.b, a.lo)) return false;
    if (b.fixed() && !remove_end(r.a, b.lo)) return false;
    return true;
}

// floor (up = false) or ceil (up = true) of n / k; k != 0 and n is not T's minimum, so
// nothing overflows.
template <class T>
T quotient(T n, T k, bool up) {
    if (k == 1) return n;
    if (k == -1) return -n;
    T q = n / k, r = n % k;
    if (r != 0 && (up ? ((r < 0) == (k < 0)) : ((r < 0) != (k < 0)))) q += up ? 1 : -1;
    return q;
}

bool CpStore::run_linear(const Rule& r) {
    if (r.begin == r.end) {
        // No non-zero coefficient: the sum is 0.
        return relation_holds(0, r.relation, r.c);
    }
    if (r.wide) return run_linear_exact(r);
    // 64-bit sums when they fit, else 128-bit, else exact. A run cut short by an overflow
    // has applied steps of this same rule only, so the wider run may start over from there.
    Run run = run_linear_in<std::int64_t>(r);
    if (run == Run::Overflow) run = run_linear_in<Int128>(r);
    if (run == Run::Overflow) return run_linear_exact(r);
    return run == Run::Done;
}

template <class T>
CpStore::Run CpStore::run_linear_in(const Rule& r) {
    // the minimum of T (numeric_limits knows no __int128 in strict mode)
    constexpr T lowest =
        sizeof(T) == sizeof(std::int64_t) ? static_cast<T>(INT64_MIN) : -static_cast<T>(INT128_MAX_VALUE) - 1;
    auto product = [](std::int64_t k, std::int64_t v, T& out) {
        return __builtin_mul_overflow(static_cast<T>(k), static_cast<T>(v), &out);
    };
    T min_sum = 0, max_sum = 0;
    for (std::size_t t = r.begin; t < r.end; ++t) {
        const std::int64_t k = static_cast<std::int64_t>(terms_[t].coeff);
        const Domain& d = domains_[terms_[t].var];
        T low, high;
        if (product(k, k > 0 ? d.lo : d.hi, low) || product(k, k > 0 ? d.hi : d.lo, high) ||
            __builtin_add_overflow(min_sum, low, &min_sum) || __builtin_add_overflow(max_sum, high, &max_sum))
            return Run::Overflow;
    }
    const T rhs = r.c;
    for (std::size_t t = r.begin; t < r.end; ++t) {
        const std::int64_t k64 = static_cast<std::int64_t>(terms_[t].coeff);
        const T k = k64;
        const std::size_t x = terms_[t].var;
        const Domain before = domains_[x];
        T own_min, own_max;  // already part of the sums, so they fit
        product(k64, k > 0 ? before.lo : before.hi, own_min);
        product(k64, k > 0 ? before.hi : before.lo, own_max);
        T below, above;  // rhs - minRest, rhs - maxRest
        if (__builtin_sub_overflow(min_sum, own_min, &below) || __builtin_sub_overflow(rhs, below, &below) ||
            below == lowest || __builtin_sub_overflow(max_sum, own_max, &above) ||
            __builtin_sub_overflow(rhs, above, &above) || above == lowest)
            return Run::Overflow;
        bool ok = true;
        if (k > 0) {
            switch (r.relation) {
                case LinearRelation::Le:
                    ok = lower_hi(x, quotient(below, k, false));
                    break;
                case LinearRelation::Ge:
                    ok = raise_lo(x, quotient(above, k, true));
                    break;
                case LinearRelation::Eq:
                    ok = raise_lo(x, quotient(above, k, true)) && lower_hi(x, quotient(below, k, false));
                    break;
            }
        } else {
            switch (r.relation) {
                case LinearRelation::Le:
                    ok = raise_lo(x, quotient(below, k, true));
                    break;
                case LinearRelation::Ge:
                    ok = lower_hi(x, quotient(above, k, false));
                    break;
                case LinearRelation::Eq:
                    ok = raise_lo(x, quotient(below, k, true)) && lower_hi(x, quotient(above, k, false));
                    break;
            }
        }
        if (!ok) return Run::Failed;
        const Domain& after = domains_[x];
        if (after != before) {
            // the new products lie between the old ones, so these cannot overflow
            T new_min, new_max;
            product(k64, k > 0 ? after.lo : after.hi, new_min);
            product(k64, k > 0 ? after.hi : after.lo, new_max);
            min_sum += new_min - own_min;
            max_sum += new_max - own_max;
        }
    }
    return Run::Done;
}

bool CpStore::run_linear_exact(const Rule& r) {
    ExactSum min_sum, max_sum;
    for (std::size_t t = r.begin; t < r.end; ++t) {
        const Domain& d = domains_[terms_[t].var];
        min_sum += min_product(terms_[t].coeff, d);
        max_sum += max_product(terms_[t].coeff, d);
    }
    for (std::size_t t = r.begin; t < r.end; ++t) {
        const Term& term = terms_[t];
        const Domain before = domains_[term.var];
        const ExactSum own_min = min_product(term.coeff, before), own_max = max_product(term.coeff, before);
        // rhs - minRest and rhs - maxRest, the rest leaving this term out
        ExactSum below(r.c), above(r.c);
        below -= min_sum;
        below += own_min;
        above -= max_sum;
        above += own_max;
        if (!narrow_term(r.relation, term, below, above)) return false;
        const Domain& after = domains_[term.var];
        if (after != before) {
            min_sum -= own_min;
            min_sum += min_product(term.coeff, after);
            max_sum -= own_max;
            max_sum += max_product(term.coeff, after);
        }
    }
    return true;
}

// One term's step: `below` = rhs - minRest, `above` = rhs - maxRest.
bool CpStore::narrow_term(LinearRelation relation, const Term& term, const ExactSum& below,
                          const ExactSum& above) {
    const std::size_t x = term.var;
    const Int128 k = term.coeff;
    auto raise = [&](const ExactSum& n) { return raise_lo(x, bound_quotient(n, k, true, domains_[x])); };
    auto lower = [&](const ExactSum& n) { return lower_hi(x, bound_quotient(n, k, false, domains_[x])); };
    if (k > 0) {
        switch (relation) {
            case LinearRelation::Le:
                return lower(below);
            case LinearRelation::Ge:
                return raise(above);
            case LinearRelation::Eq:
                return raise(above) && lower(below);
        }
    } else {
        switch (relation) {
            case LinearRelation::Le:
                return raise(below);
            case LinearRelation::Ge:
                return lower(above);
            case LinearRelation::Eq:
                return raise(below) && lower(above);
        }
    }
    fail_invariant("unknown linear relation");
}

// Every fixed position's value is shaved from the ends of every other position's domain
// until nothing changes; that is the AllDiff rule's fixpoint, reached without its
// m-squared passes. Two positions fixed to one value (also one variable listed twice, once
// fixed) fail, as the rule's shaving would empty one of them.
bool CpStore::run_alldiff(const Rule& r) {
    // Values over a short range are marked in a table instead of sorted.
    std::int64_t base = INT64_MAX, top = INT64_MIN;
    for (std::size_t p = r.begin; p < r.end; ++p) {
        const Domain& d = domains_[vars_[p]];
        if (d.lo > d.hi) continue;
        base = std::min(base, d.lo);
        top = std::max(top, d.hi);
    }
    if (base > top) return true;
    const std::uint64_t span = static_cast<std::uint64_t>(top) - static_cast<std::uint64_t>(base);
    // (the table stays within a few times the constraint's own size)
    if (span < 4 * (r.end - r.begin) + 1024)
        return run_alldiff_marked(r, base, static_cast<std::size_t>(span) + 1);
    for (;;) {
        scratch_.clear();
        for (std::size_t p = r.begin; p < r.end; ++p) {
            const Domain& d = domains_[vars_[p]];
            if (d.fixed()) scratch_.push_back(d.lo);
        }
        if (scratch_.empty()) return true;
        std::sort(scratch_.begin(), scratch_.end());
        if (std::adjacent_find(scratch_.begin(), scratch_.end()) != scratch_.end()) return false;
        auto taken = [&](std::int64_t v) { return std::binary_search(scratch_.begin(), scratch_.end(), v); };
        bool newly_fixed = false;
        if (!shave_taken_ends(r, taken, newly_fixed)) return false;
        if (!newly_fixed) return true;
    }
}

// Moves the ends of every open domain of the rule inward past values that `taken` reports.
// False when a domain empties; `newly_fixed` is set when some variable became fixed.
template <class Taken>
bool CpStore::shave_taken_ends(const Rule& r, Taken taken, bool& newly_fixed) {
    for (std::size_t p = r.begin; p < r.end; ++p) {
        const std::size_t y = vars_[p];
        // An empty domain holds no value to shave (only a declared one can be empty).
        if (domains_[y].lo >= domains_[y].hi) continue;
        while (taken(domains_[y].lo)) {
            if (!raise_lo(y, static_cast<Int128>(domains_[y].lo) + 1)) return false;
        }
        while (taken(domains_[y].hi)) {
            if (!lower_hi(y, static_cast<Int128>(domains_[y].hi) - 1)) return false;
        }
        if (domains_[y].fixed()) newly_fixed = true;
    }
    return true;
}

bool CpStore::run_alldiff_marked(const Rule& r, std::int64_t base, std::size_t range) {
    if (marks_.size() < range) marks_.resize(range, 0);
    auto slot = [&](std::int64_t v) {
        return static_cast<std::size_t>(static_cast<std::uint64_t>(v) - static_cast<std::uint64_t>(base));
    };
    for (;;) {
        ++mark_stamp_;  // a fresh stamp clears every mark
        for (std::size_t p = r.begin; p < r.end; ++p) {
            const Domain& d = domains_[vars_[p]];
            if (!d.fixed()) continue;
            std::uint64_t& mark = marks_[slot(d.lo)];
            if (mark == mark_stamp_) return false;  // two positions fixed to one value
            mark = mark_stamp_;
        }
        // The ends stay within [base, top] while they move inward, so every slot is in range.
        auto taken = [&](std::int64_t v) { return marks_[slot(v)] == mark_stamp_; };
        bool newly_fixed = false;
        if (!shave_taken_ends(r, taken, newly_fixed)) return false;
        if (!newly_fixed) return true;
    }
}

// ---- leaf check --------------------------------------------------------------------------

bool CpStore::satisfied_by_fixed() const {
    for (const Domain& d : domains_) {
        if (!d.fixed()) return false;
    }
    auto value = [&](VarIndex var) -> std::int64_t { return domains_[var].lo; };
    for (const CpConstraint& constraint : constraints_) {
        bool holds = true;
        if (const auto* eq = std::get_if<Eq>(&constraint)) {
            holds = value(eq->a) == value(eq->b);
        } else if (const auto* neq = std::get_if<Neq>(&constraint)) {
            holds = value(neq->a) != value(neq->b);
        } else if (const auto* lt = std::get_if<Lt>(&constraint)) {
            holds = value(lt->a) < value(lt->b);
        } else if (const auto* le = std::get_if<Le>(&constraint)) {
            holds = static_cast<Int128>(value(le->a)) <= static_cast<Int128>(value(le->b)) + le->c;
        } else if (const auto* linear = std::get_if<Linear>(&constraint)) {
            ExactSum sum(0);
            for (const LinearTerm& term : linear->terms)
                sum += static_cast<Int128>(term.coeff) * value(term.var);
            sum -= ExactSum(linear->rhs);  // sum - rhs, compared with 0
            holds = relation_holds(sum.sign(), linear->relation, 0);
        } else {
            const auto& all = std::get<AllDiff>(constraint);
            std::vector<std::int64_t> values;
            values.reserve(all.vars.size());
            for (VarIndex var : all.vars) values.push_back(value(var));
            std::sort(values.begin(), values.end());
            holds = std::adjacent_find(values.begin(), values.end()) == values.end();
        }
        if (!holds) return false;
    }
    return true;
}

}  // namespace mekra::cp
