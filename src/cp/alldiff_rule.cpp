// The AllDiff rule: every fixed position's value is shaved from the ends of every other
// position's domain until nothing changes; that is the rule's fixpoint, reached without its
// m-squared passes. Two positions fixed to one value (also one variable listed twice, once
// fixed) fail, as the rule's shaving would empty one of them.

#include <algorithm>

#include "cp/propagator.hpp"

namespace mekra::cp {

namespace {

// Fixed values over a span below the constraint's size times this, plus MARK_TABLE_SLACK, are
// marked in a table instead of sorted: the table stays within a few times the rule's size.
constexpr std::size_t MARK_TABLE_PER_POSITION = 4;
constexpr std::size_t MARK_TABLE_SLACK = 1024;

}  // namespace

bool CpStore::run_alldiff(const Rule& r) {
    std::int64_t base = INT64_MAX, top = INT64_MIN;
    for (std::size_t p = r.begin; p < r.end; ++p) {
        const Domain& d = domains_[vars_[p]];
        if (d.lo > d.hi) continue;
        base = std::min(base, d.lo);
        top = std::max(top, d.hi);
    }
    if (base > top) return true;
    const std::uint64_t span = static_cast<std::uint64_t>(top) - static_cast<std::uint64_t>(base);
    if (span < MARK_TABLE_PER_POSITION * (r.end - r.begin) + MARK_TABLE_SLACK)
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

}  // namespace mekra::cp
