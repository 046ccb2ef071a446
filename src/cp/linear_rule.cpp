// The Linear rule: every term is bounded by the right-hand side less the smallest or largest
// sum the other terms can reach. The two sums are formed once per run and moved as terms
// narrow; in 64 bits when they fit, else in 128, else exactly.

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

}  // namespace

bool CpStore::run_linear(const Rule& r) {
    if (r.begin == r.end) {
        // No non-zero coefficient: the sum is 0, and 0 - rhs has the opposite sign of rhs.
        return relation_holds((r.c < 0) - (r.c > 0), r.relation);
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
        if (!step_term(
                r.relation, k > 0, below, above, [&](T n) { return raise_lo(x, ceil_div(n, k)); },
                [&](T n) { return lower_hi(x, floor_div(n, k)); }))
            return Run::Failed;
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
        const std::size_t x = term.var;
        const Int128 k = term.coeff;
        const Domain before = domains_[x];
        const ExactSum own_min = min_product(k, before), own_max = max_product(k, before);
        // rhs - minRest and rhs - maxRest, the rest leaving this term out
        ExactSum below(r.c), above(r.c);
        below -= min_sum;
        below += own_min;
        above -= max_sum;
        above += own_max;
        if (!step_term(
                r.relation, k > 0, below, above,
                [&](const ExactSum& n) { return raise_lo(x, bound_quotient(n, k, true, domains_[x])); },
                [&](const ExactSum& n) { return lower_hi(x, bound_quotient(n, k, false, domains_[x])); }))
            return false;
        const Domain& after = domains_[x];
        if (after != before) {
            min_sum -= own_min;
            min_sum += min_product(k, after);
            max_sum -= own_max;
            max_sum += max_product(k, after);
        }
    }
    return true;
}

}  // namespace mekra::cp
