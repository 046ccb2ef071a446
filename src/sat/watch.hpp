#pragma once
// Watch lists: for each literal (by watch code) the indices of the clauses that watch it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "sat/clause.hpp"

namespace mekra::sat {

class Watches {
public:
    // Grows to `codes` lists; existing lists are kept, new ones are empty.
    void grow(std::size_t codes) {
        if (codes > lists_.size()) lists_.resize(codes);
    }
    std::size_t size() const { return lists_.size(); }

    std::vector<ClauseIndex>& list(std::uint32_t code) { return lists_[code]; }
    const std::vector<ClauseIndex>& list(std::uint32_t code) const { return lists_[code]; }
    void append(std::uint32_t code, ClauseIndex c) { lists_[code].push_back(c); }

    // Removes the first occurrence of c by moving the list's last element into its place.
    void remove_first(std::uint32_t code, ClauseIndex c);

    // After a walk over the first `walked` entries of the list: removes one occurrence of each
    // clause in `removed` (the walked entries that moved away, in walk order), each time the
    // first occurrence, moving the last element into its place. The list ends exactly as that
    // many remove_first calls would leave it, in time linear in `walked`.
    void remove_walked(std::uint32_t code, std::size_t walked, std::span<const ClauseIndex> removed);

private:
    static constexpr std::uint32_t NONE = UINT32_MAX;

    std::vector<std::vector<ClauseIndex>> lists_;
    // Work space of remove_walked, indexed by clause: the positions of its (at most two)
    // occurrences in the list being edited, smaller first. All NONE between calls.
    std::vector<std::array<std::uint32_t, 2>> positions_;
};

}  // namespace mekra::sat
