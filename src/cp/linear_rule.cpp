// The Linear rule: every term is bounded by the right-hand side less the smallest or largest
// sum the other terms can reach. The two sums are kept exactly (192 bits) for every rule and
// moved with each change of a bound and each undo, so a run starts without reading every
// term.

#include <algorithm>

#include "cp/linear_relation.hpp"
#include "cp/propagator.hpp"

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
        const Int128 clamped = n.clamped();
        if (clamped > INT64_MIN && clamped <= INT64_MAX) {  // the cheaper 64-bit division
            const auto n64 = static_cast<std::int64_t>(clamped), k64 = static_cast<std::int64_t>(k);
            return up ? ceil_div(n64, k64) : floor_div(n64, k64);
        }
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

}  // namespace

void CpStore::init_linear_sums() {
    for (const Rule& r : rules_) {
        if (r.kind != Kind::Linear) continue;
        LinearSums& sums = sums_[r.sums];
        for (std::size_t t = r.begin; t < r.end; ++t) {
            const Domain& d = domains_[terms_[t].var];
            sums.min += min_product(terms_[t].coeff, d);
            sums.max += max_product(terms_[t].coeff, d);
            if (d.empty()) ++sums.empty_terms;
        }
    }
}

void CpStore::move_linear_sums(std::size_t var, const Domain& before) {
    const Domain& after = domains_[var];
    for (const LinearOccurrence& at : linear_occurrences_[var]) {
        LinearSums& sums = sums_[at.sums];
        const Int128 k = terms_[at.term].coeff;
        // k > 0 reads lo into the smallest sum and hi into the largest, k < 0 the other way
        const bool lo_changed = before.lo != after.lo, hi_changed = before.hi != after.hi;
        if (k > 0 ? lo_changed : hi_changed) {
            sums.min -= min_product(k, before);
            sums.min += min_product(k, after);
        }
        if (k > 0 ? hi_changed : lo_changed) {
            sums.max -= max_product(k, before);
            sums.max += max_product(k, after);
        }
        sums.empty_terms = sums.empty_terms - (before.empty() ? 1 : 0) + (after.empty() ? 1 : 0);
    }
}

Int128 CpStore::linear_room(const Rule& r) const {
    const LinearSums& sums = sums_[r.sums];
    const RelationSides sides = sides_of(r.relation);
    Int128 room = INT128_MAX_VALUE;
    if (sides.caps) {  // rhs - min
        ExactSum left(r.c);
        left -= sums.min;
        room = std::min(room, left.clamped());
    }
    if (sides.floors) {  // max - rhs
        ExactSum left = sums.max;
        left -= ExactSum(r.c);
        room = std::min(room, left.clamped());
    }
    return room;
}

// The terms are visited in order of falling reach; the sums move with every narrowed bound,
// so each term sees the bounds narrowed before it. A term whose reach the room covers, and
// every term after it, would narrow nothing: the run ends there. A room below zero fails as
// the first term's step would.
bool CpStore::run_linear(const Rule& r) {
    if (r.begin == r.end) {
        // No non-zero coefficient: the sum is 0, and 0 - rhs has the opposite sign of rhs.
        return relation_holds((r.c < 0) - (r.c > 0), r.relation);
    }
    const LinearSums& sums = sums_[r.sums];
    if (sums.empty_terms > 0) return false;
    for (std::size_t t = r.begin; t < r.end; ++t) {
        const Int128 room = linear_room(r);
        if (room < 0) return false;
        const Term& term = terms_[t];
        if (within_declared_ && term.reach != UNBOUNDED_REACH && term.reach <= room) break;
        const std::size_t x = term.var;
        const Int128 k = term.coeff;
        const Domain& d = domains_[x];
        // rhs - minRest and rhs - maxRest, the rest leaving this term out
        ExactSum below(r.c), above(r.c);
        below -= sums.min;
        below += min_product(k, d);
        above -= sums.max;
        above += max_product(k, d);
        if (!step_term(
                r.relation, k > 0, below, above,
                [&](const ExactSum& n) { return raise_lo(x, bound_quotient(n, k, true, domains_[x])); },
                [&](const ExactSum& n) { return lower_hi(x, bound_quotient(n, k, false, domains_[x])); }))
            return false;
    }
    return true;
}

}  // namespace mekra::cp
