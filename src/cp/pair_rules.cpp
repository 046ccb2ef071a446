// The rules over two variables: Eq, Neq, the two steps of Le (and Lt), and the Offset form of
// a two-term Linear a - b = c.

#include <algorithm>

#include "cp/propagator.hpp"

namespace mekra::cp {

bool CpStore::run_eq(const Rule& r) {
    std::int64_t low = std::max(domains_[r.a].lo, domains_[r.b].lo);
    std::int64_t high = std::min(domains_[r.a].hi, domains_[r.b].hi);
    if (low > high) return false;
    return raise_lo(r.a, low) && raise_lo(r.b, low) && lower_hi(r.a, high) && lower_hi(r.b, high);
}

bool CpStore::run_neq(const Rule& r) {
    const Domain& a = domains_[r.a];
    const Domain& b = domains_[r.b];
    if (a.fixed() && b.fixed() && a.lo == b.lo) return false;
    if (a.fixed() && !remove_end(r.b, a.lo)) return false;
    if (b.fixed() && !remove_end(r.a, b.lo)) return false;
    return true;
}

// a <= b + c: hi(a) from hi(b), and lo(b) from lo(a).
bool CpStore::run_le_upper(const Rule& r) {
    return lower_hi(r.a, static_cast<Int128>(domains_[r.b].hi) + r.c);
}
bool CpStore::run_le_lower(const Rule& r) {
    return raise_lo(r.b, static_cast<Int128>(domains_[r.a].lo) - r.c);
}

// a = b + c
bool CpStore::run_offset(const Rule& r) {
    const Int128 c = r.c;
    const Int128 low = std::max<Int128>(domains_[r.a].lo, domains_[r.b].lo + c);
    const Int128 high = std::min<Int128>(domains_[r.a].hi, domains_[r.b].hi + c);
    if (low > high) return false;
    return raise_lo(r.a, low) && lower_hi(r.a, high) && raise_lo(r.b, low - c) && lower_hi(r.b, high - c);
}

}  // namespace mekra::cp
