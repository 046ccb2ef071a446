// The Linear rule: every term is bounded by the right-hand side less the smallest or largest
// sum the other terms can reach. The two sums are kept for every rule (in 128 bits where
// they always fit, else exactly) and moved with each change of a bound and each undo, so a
// run starts without reading every term.

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

// The smallest and largest value of coeff * x over x's domain, in the type the sums are kept
// in: Int128 (for a 64-bit coefficient, whose products fit) or ExactSum.
template <class Sum>
struct SumOps;

template <>
struct SumOps<Int128> {
    // 64 by 64 bits: one widening multiplication
    static Int128 product(Int128 k, std::int64_t v) {
        return static_cast<Int128>(static_cast<std::int64_t>(k)) * static_cast<Int128>(v);
    }
    static Int128 lowest(Int128 k, const Domain& d) { return product(k, k > 0 ? d.lo : d.hi); }
    static Int128 highest(Int128 k, const Domain& d) { return product(k, k > 0 ? d.hi : d.lo); }
    static Int128 clamped(Int128 v) { return v; }
};

template <>
struct SumOps<ExactSum> {
    static ExactSum lowest(Int128 k, const Domain& d) { return product(k, k > 0 ? d.lo : d.hi); }
    static ExactSum highest(Int128 k, const Domain& d) { return product(k, k > 0 ? d.hi : d.lo); }
    static Int128 clamped(const ExactSum& v) { return v.clamped(); }
};

// floor(n / k) (up = false) or ceil(n / k) (up = true) for a 64-bit k and |n| < 2^127.
Int128 bound_quotient(Int128 n, Int128 k, bool up, const Domain&) {
    if (k == 1) return n;  // unit coefficients are the common case: no division
    if (k == -1) return -n;
    if (n > INT64_MIN && n <= INT64_MAX) {  // the cheaper 64-bit division
        const auto n64 = static_cast<std::int64_t>(n), k64 = static_cast<std::int64_t>(k);
        return up ? ceil_div(n64, k64) : floor_div(n64, k64);
    }
    return up ? ceil_div(n, k) : floor_div(n, k);
}

// floor(n / k) (up = false) or ceil(n / k) (up = true), exact wherever it lies within
// [d.lo - 1, d.hi + 1]; beyond that only its side of the domain is kept.
Int128 bound_quotient(const ExactSum& n, Int128 k, bool up, const Domain& d) {
    if (fits_64(k)) {
        // |n| beyond 2^127 over |k| <= 2^63 lies beyond the 64-bit range: clamping is exact
        // in effect.
        return bound_quotient(n.clamped(), k, up, d);
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
        UInt128 magnitudes = 0;  // below 2^128: each term adds less than 2^127
        for (std::size_t t = r.begin; t < r.end; ++t) {
            const Int128 k = terms_[t].coeff;
            if (!fits_64(k)) sums.exact = true;
            magnitudes += k < 0 ? -static_cast<UInt128>(k) : static_cast<UInt128>(k);
        }
        if (magnitudes >> 64 != 0) sums.exact = true;
        if (!keeps_sums(r)) continue;
        for (std::size_t t = r.begin; t < r.end; ++t) {
            const Domain& d = domains_[terms_[t].var];
            const Int128 k = terms_[t].coeff;
            if (sums.exact) {
                sums.exact_min += SumOps<ExactSum>::lowest(k, d);
                sums.exact_max += SumOps<ExactSum>::highest(k, d);
            } else {
                sums.min += SumOps<Int128>::lowest(k, d);
                sums.max += SumOps<Int128>::highest(k, d);
            }
            if (d.empty()) ++sums.empty_terms;
        }
    }
}

namespace {

// k > 0 reads lo into the smallest sum and hi into the largest, k < 0 the other way round.
template <class Sum>
void move_sums(Sum& min, Sum& max, Int128 k, const Domain& before, const Domain& after) {
    const bool lo_changed = before.lo != after.lo, hi_changed = before.hi != after.hi;
    if (k > 0 ? lo_changed : hi_changed) {
        min -= SumOps<Sum>::lowest(k, before);
        min += SumOps<Sum>::lowest(k, after);
    }
    if (k > 0 ? hi_changed : lo_changed) {
        max -= SumOps<Sum>::highest(k, before);
        max += SumOps<Sum>::highest(k, after);
    }
}

}  // namespace

void CpStore::move_linear_sums(std::size_t var, const Domain& before) {
    const Domain& after = domains_[var];
    for (const LinearOccurrence& at : linear_occurrences_[var]) {
        LinearSums& sums = sums_[at.sums];
        const Int128 k = terms_[at.term].coeff;
        if (sums.exact) {
            move_sums(sums.exact_min, sums.exact_max, k, before, after);
        } else {
            move_sums(sums.min, sums.max, k, before, after);
        }
        sums.empty_terms = sums.empty_terms - (before.empty() ? 1 : 0) + (after.empty() ? 1 : 0);
    }
}

bool CpStore::run_linear(const Rule& r) {
    if (r.begin == r.end) {
        // No non-zero coefficient: the sum is 0, and 0 - rhs has the opposite sign of rhs.
        return relation_holds((r.c < 0) - (r.c > 0), r.relation);
    }
    LinearSums& sums = sums_[r.sums];
    if (keeps_sums(r)) {
        if (sums.empty_terms > 0) return false;
        return sums.exact ? run_linear_over(r, sums.exact_min, sums.exact_max, true)
                          : run_linear_over(r, sums.min, sums.max, true);
    }
    // A short rule forms its sums afresh, which costs less than keeping them.
    auto run_fresh = [&](auto zero) {
        auto min = zero, max = zero;
        for (std::size_t t = r.begin; t < r.end; ++t) {
            const Domain& d = domains_[terms_[t].var];
            if (d.empty()) return false;
            min += SumOps<decltype(zero)>::lowest(terms_[t].coeff, d);
            max += SumOps<decltype(zero)>::highest(terms_[t].coeff, d);
        }
        return run_linear_over(r, min, max, false);
    };
    return sums.exact ? run_fresh(ExactSum(0)) : run_fresh(Int128{0});
}

// The terms are visited in order of falling reach; the sums move with every narrowed bound
// (kept sums through `changed`, fresh ones here), so each term sees the bounds narrowed
// before it. The room is what the relation leaves the
// sum on its tighter side: a term whose reach the room covers, and every term after it,
// would narrow nothing, so the run ends there. A room below zero fails as the first term's
// step would.
template <class Sum>
bool CpStore::run_linear_over(const Rule& r, Sum& min, Sum& max, bool kept) {
    const RelationSides sides = sides_of(r.relation);
    const Sum rhs(static_cast<Int128>(r.c));
    for (std::size_t t = r.begin; t < r.end; ++t) {
        Int128 room = INT128_MAX_VALUE;
        if (sides.caps) {
            Sum left = rhs;
            left -= min;
            room = std::min(room, SumOps<Sum>::clamped(left));
        }
        if (sides.floors) {
            Sum left = max;
            left -= rhs;
            room = std::min(room, SumOps<Sum>::clamped(left));
        }
        if (room < 0) return false;
        const Term& term = terms_[t];
        if (within_declared_ && term.reach != UNBOUNDED_REACH && term.reach <= room) break;
        const std::size_t x = term.var;
        const Int128 k = term.coeff;
        const Domain before = domains_[x];
        const Domain& d = before;
        // rhs - minRest and rhs - maxRest, the rest leaving this term out
        Sum below = rhs, above = rhs;
        below -= min;
        below += SumOps<Sum>::lowest(k, d);
        above -= max;
        above += SumOps<Sum>::highest(k, d);
        if (!step_term(
                r.relation, k > 0, below, above,
                [&](const Sum& n) { return raise_lo(x, bound_quotient(n, k, true, domains_[x])); },
                [&](const Sum& n) { return lower_hi(x, bound_quotient(n, k, false, domains_[x])); }))
            return false;
        if (!kept) move_sums(min, max, k, before, domains_[x]);
    }
    return true;
}

}  // namespace mekra::cp
