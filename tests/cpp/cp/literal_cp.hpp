#pragma once
// The CP solver written plainly, for differential testing and as the benchmark's baseline:
// propagation reruns every constraint in full passes until a snapshot of all domains stops
// changing; search recurses, copies every domain per branch and lists all candidate values
// first. Linear terms on one variable are merged and all arithmetic is exact (__int128,
// checked: a result that does not fit throws LiteralOverflow and the model is skipped).

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "core/outcome.hpp"
#include "cp/reader.hpp"

namespace literal_cp {

using mekra::cp::CpModel;
using mekra::cp::LinearRelation;
using I128 = __int128;

struct LiteralOverflow : std::exception {};

inline I128 add(I128 a, I128 b) {
    I128 r;
    if (__builtin_add_overflow(a, b, &r)) throw LiteralOverflow{};
    return r;
}
inline I128 sub(I128 a, I128 b) {
    I128 r;
    if (__builtin_sub_overflow(a, b, &r)) throw LiteralOverflow{};
    return r;
}
inline I128 mul(I128 a, I128 b) {
    I128 r;
    if (__builtin_mul_overflow(a, b, &r)) throw LiteralOverflow{};
    return r;
}
inline I128 floor_div(I128 n, I128 d) {
    I128 q = n / d;
    if (n % d != 0 && ((n < 0) != (d < 0))) --q;
    return q;
}
inline I128 ceil_div(I128 n, I128 d) {
    I128 q = n / d;
    if (n % d != 0 && ((n < 0) == (d < 0))) ++q;
    return q;
}

struct Dom {
    I128 lo, hi;  // kept wide so that a bound outside 64 bits is seen as such
    bool operator==(const Dom&) const = default;
};

struct Term {
    I128 coeff;
    std::size_t var;
};

struct Con {
    enum Kind { Eq, Neq, Lt, Le, Linear, AllDiff } kind;
    std::size_t a = 0, b = 0;
    I128 c = 0;
    std::vector<Term> terms;  // merged, zero coefficients kept
    LinearRelation rel = LinearRelation::Le;
    std::vector<std::size_t> vars;
};

struct Store {
    std::vector<Dom> d;
    std::vector<Con> cons;
    std::vector<mekra::cp::CpConstraint> original;
};

inline Store make_store(const CpModel& m) {
    Store s;
    for (const auto& v : m.variables) s.d.push_back({v.min, v.max});
    s.original = m.constraints;
    for (const auto& c : m.constraints) {
        Con k;
        if (auto* e = std::get_if<mekra::cp::Eq>(&c)) {
            k.kind = Con::Eq, k.a = e->a, k.b = e->b;
        } else if (auto* n = std::get_if<mekra::cp::Neq>(&c)) {
            k.kind = Con::Neq, k.a = n->a, k.b = n->b;
        } else if (auto* l = std::get_if<mekra::cp::Lt>(&c)) {
            k.kind = Con::Lt, k.a = l->a, k.b = l->b;
        } else if (auto* le = std::get_if<mekra::cp::Le>(&c)) {
            k.kind = Con::Le, k.a = le->a, k.b = le->b, k.c = le->c;
        } else if (auto* lin = std::get_if<mekra::cp::Linear>(&c)) {
            k.kind = Con::Linear, k.c = lin->rhs, k.rel = lin->relation;
            for (const auto& t : lin->terms) {
                bool merged = false;
                for (auto& have : k.terms) {
                    if (have.var == t.var) {
                        have.coeff = add(have.coeff, t.coeff);
                        merged = true;
                    }
                }
                if (!merged) k.terms.push_back({t.coeff, t.var});
            }
        } else {
            k.kind = Con::AllDiff;
            for (auto v : std::get<mekra::cp::AllDiff>(c).vars) k.vars.push_back(v);
        }
        s.cons.push_back(std::move(k));
    }
    return s;
}

constexpr I128 MIN64 = INT64_MIN, MAX64 = INT64_MAX;

// lo(x) := max(lo(x), v); then check x. A bound outside 64 bits empties the domain.
inline bool raise(std::vector<Dom>& d, std::size_t x, I128 v) {
    d[x].lo = std::max(d[x].lo, v);
    if (d[x].lo > MAX64) return false;
    return d[x].lo <= d[x].hi;
}
inline bool lower(std::vector<Dom>& d, std::size_t x, I128 v) {
    d[x].hi = std::min(d[x].hi, v);
    if (d[x].hi < MIN64) return false;
    return d[x].lo <= d[x].hi;
}

inline bool relation_holds(I128 lhs, LinearRelation r, I128 rhs) {
    return r == LinearRelation::Le ? lhs <= rhs : r == LinearRelation::Eq ? lhs == rhs : lhs >= rhs;
}

inline bool apply(std::vector<Dom>& d, const Con& k) {
    auto fixed = [&](std::size_t x) { return d[x].lo == d[x].hi; };
    switch (k.kind) {
        case Con::Eq: {
            I128 L = std::max(d[k.a].lo, d[k.b].lo), H = std::min(d[k.a].hi, d[k.b].hi);
            if (L > H) return false;
            d[k.a].lo = std::max(d[k.a].lo, L), d[k.b].lo = std::max(d[k.b].lo, L);
            d[k.a].hi = std::min(d[k.a].hi, H), d[k.b].hi = std::min(d[k.b].hi, H);
            return true;
        }
        case Con::Neq: {
            if (fixed(k.a) && fixed(k.b) && d[k.a].lo == d[k.b].lo) return false;
            if (fixed(k.a) && d[k.b].lo <= d[k.a].lo && d[k.a].lo <= d[k.b].hi) {
                I128 v = d[k.a].lo;
                if (v == d[k.b].lo)
                    d[k.b].lo = v + 1;
                else if (v == d[k.b].hi)
                    d[k.b].hi = v - 1;
                if (d[k.b].lo > d[k.b].hi) return false;
            }
            if (fixed(k.b) && d[k.a].lo <= d[k.b].lo && d[k.b].lo <= d[k.a].hi) {
                I128 w = d[k.b].lo;
                if (w == d[k.a].lo)
                    d[k.a].lo = w + 1;
                else if (w == d[k.a].hi)
                    d[k.a].hi = w - 1;
                if (d[k.a].lo > d[k.a].hi) return false;
            }
            return true;
        }
        case Con::Lt:
        case Con::Le: {
            I128 c = k.kind == Con::Lt ? -1 : k.c;
            if (!lower(d, k.a, d[k.b].hi + c)) return false;
            return raise(d, k.b, d[k.a].lo - c);
        }
        case Con::Linear: {
            bool any = false;
            for (const auto& t : k.terms) any = any || t.coeff != 0;
            if (!any) return relation_holds(0, k.rel, k.c);
            for (const auto& t : k.terms) {
                I128 min_rest = 0, max_rest = 0;
                for (const auto& o : k.terms) {
                    if (o.var == t.var) continue;
                    I128 lo = d[o.var].lo, hi = d[o.var].hi;
                    min_rest = add(min_rest, mul(o.coeff, o.coeff > 0 ? lo : hi));
                    max_rest = add(max_rest, mul(o.coeff, o.coeff > 0 ? hi : lo));
                }
                if (t.coeff == 0) continue;
                I128 below = sub(k.c, min_rest), above = sub(k.c, max_rest), c = t.coeff;
                bool ok = true;
                if (c > 0) {
                    if (k.rel == LinearRelation::Le) ok = lower(d, t.var, floor_div(below, c));
                    if (k.rel == LinearRelation::Ge) ok = raise(d, t.var, ceil_div(above, c));
                    if (k.rel == LinearRelation::Eq)
                        ok = raise(d, t.var, ceil_div(above, c)) && lower(d, t.var, floor_div(below, c));
                } else {
                    if (k.rel == LinearRelation::Le) ok = raise(d, t.var, ceil_div(below, c));
                    if (k.rel == LinearRelation::Ge) ok = lower(d, t.var, floor_div(above, c));
                    if (k.rel == LinearRelation::Eq)
                        ok = raise(d, t.var, ceil_div(below, c)) && lower(d, t.var, floor_div(above, c));
                }
                if (!ok) return false;
            }
            return true;
        }
        case Con::AllDiff: {
            for (std::size_t i = 0; i < k.vars.size(); ++i) {
                if (!fixed(k.vars[i])) continue;
                I128 v = d[k.vars[i]].lo;
                for (std::size_t j = 0; j < k.vars.size(); ++j) {
                    if (j == i) continue;
                    std::size_t y = k.vars[j];
                    if (d[y].lo <= v && v <= d[y].hi) {
                        if (v == d[y].lo)
                            d[y].lo = v + 1;
                        else if (v == d[y].hi)
                            d[y].hi = v - 1;
                        if (d[y].lo > d[y].hi) return false;
                    }
                }
            }
            return true;
        }
    }
    return false;
}

// Full passes until a pass leaves every domain as its snapshot.
inline bool propagate(Store& s) {
    for (;;) {
        std::vector<Dom> snapshot = s.d;
        for (const auto& k : s.cons) {
            if (!apply(s.d, k)) return false;
        }
        if (snapshot == s.d) return true;
    }
}

// Every fixed value checked against every constraint as written.
inline bool satisfies(const std::vector<mekra::cp::CpConstraint>& cons, const std::vector<std::int64_t>& x) {
    for (const auto& c : cons) {
        if (auto* e = std::get_if<mekra::cp::Eq>(&c)) {
            if (x[e->a] != x[e->b]) return false;
        } else if (auto* n = std::get_if<mekra::cp::Neq>(&c)) {
            if (x[n->a] == x[n->b]) return false;
        } else if (auto* l = std::get_if<mekra::cp::Lt>(&c)) {
            if (!(x[l->a] < x[l->b])) return false;
        } else if (auto* le = std::get_if<mekra::cp::Le>(&c)) {
            if (!(I128{x[le->a]} <= I128{x[le->b]} + le->c)) return false;
        } else if (auto* lin = std::get_if<mekra::cp::Linear>(&c)) {
            I128 sum = 0;
            for (const auto& t : lin->terms) sum = add(sum, mul(t.coeff, x[t.var]));
            if (!relation_holds(sum, lin->relation, lin->rhs)) return false;
        } else {
            const auto& v = std::get<mekra::cp::AllDiff>(c).vars;
            for (std::size_t i = 0; i < v.size(); ++i)
                for (std::size_t j = i + 1; j < v.size(); ++j)
                    if (x[v[i]] == x[v[j]]) return false;
        }
    }
    return true;
}

inline bool all_fixed(const Store& s) {
    for (const auto& d : s.d)
        if (d.lo != d.hi) return false;
    return true;
}

inline std::optional<mekra::Model> leaf(const Store& s) {
    std::vector<std::int64_t> x;
    for (const auto& d : s.d) x.push_back(static_cast<std::int64_t>(d.lo));
    if (!satisfies(s.original, x)) return std::nullopt;
    mekra::Model m;
    for (std::size_t i = 0; i < x.size(); ++i) m.push_back({i, mekra::ModelValue::integer(x[i])});
    return m;
}

inline std::optional<mekra::Model> search(Store& s) {
    if (!propagate(s)) return std::nullopt;
    if (all_fixed(s)) return leaf(s);
    // smallest size hi - lo + 1, compared without wrapping; ties to the lowest index
    std::optional<std::size_t> chosen;
    unsigned __int128 best = 0;
    for (std::size_t i = 0; i < s.d.size(); ++i) {
        if (!(s.d[i].lo < s.d[i].hi)) continue;
        unsigned __int128 size = static_cast<unsigned __int128>(s.d[i].hi - s.d[i].lo) + 1;
        if (!chosen || size < best) chosen = i, best = size;
    }
    if (!chosen) return std::nullopt;
    std::vector<std::int64_t> values;
    for (I128 v = s.d[*chosen].lo; v <= s.d[*chosen].hi; ++v) values.push_back(static_cast<std::int64_t>(v));
    for (std::int64_t v : values) {
        std::vector<Dom> snapshot = s.d;
        s.d[*chosen] = {v, v};
        if (auto found = search(s)) return found;
        s.d = snapshot;
    }
    return std::nullopt;
}

// The whole call: read, propagate, report at once when everything is fixed, else search.
// A reader message is returned as a string.
inline std::variant<mekra::CpOutcome, std::string> solve(std::string_view text) {
    auto read = mekra::cp::parse_cp_model(text);
    if (auto* message = std::get_if<std::string>(&read)) return *message;
    Store s = make_store(std::get<CpModel>(read));
    if (!propagate(s)) return mekra::CpOutcome{};
    if (all_fixed(s)) {
        if (auto m = leaf(s)) return mekra::CpOutcome{*m};
    }
    return mekra::CpOutcome{search(s)};
}

}  // namespace literal_cp
