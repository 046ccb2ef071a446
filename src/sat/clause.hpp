#pragma once
// Clause storage: every clause in one contiguous arena, addressed by its index, never moved.

#include <cstdint>
#include <span>
#include <vector>

#include "sat/literal.hpp"

namespace mekra::sat {

using ClauseIndex = std::uint32_t;

// Clauses are only ever appended. A clause's activity is fixed at 0.0 and never read, so it
// is not stored; the deleted flag is kept because propagation honours it.
class ClauseArena {
public:
    ClauseIndex add(std::span<const Literal> literals, bool learnt);

    std::size_t size() const { return starts_.size(); }
    std::span<const Literal> literals(ClauseIndex c) const {
        const std::uint64_t begin = starts_[c];
        return {literals_.data() + begin, literals_.data() + ends(c)};
    }
    bool learnt(ClauseIndex c) const { return (flags_[c] & LEARNT) != 0; }
    bool deleted(ClauseIndex c) const { return (flags_[c] & DELETED) != 0; }

private:
    static constexpr std::uint8_t LEARNT = 1;
    static constexpr std::uint8_t DELETED = 2;
    std::uint64_t ends(ClauseIndex c) const { return c + 1 < starts_.size() ? starts_[c + 1] : literals_.size(); }

    std::vector<Literal> literals_;      // all clauses' literals, one after another
    std::vector<std::uint64_t> starts_;  // clause c begins at literals_[starts_[c]]
    std::vector<std::uint8_t> flags_;
};

}  // namespace mekra::sat
