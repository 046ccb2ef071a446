#include "sat/watch.hpp"

#include <algorithm>
#include <utility>

namespace mekra::sat {

void Watches::remove_first(std::uint32_t code, ClauseIndex c) {
    auto& list = lists_[code];
    auto it = std::find(list.begin(), list.end(), c);
    check_invariant(it != list.end(), "clause missing from the watch list it is removed from");
    *it = list.back();
    list.pop_back();
}

// A clause watches exactly two literals (possibly the same one twice), so it occurs at most
// twice in one list: two position slots per clause make "first occurrence" a constant-time
// lookup while the removals are replayed.
//
// Only two regions of the list take part: holes open at first occurrences, which lie among
// the walked entries or in places already refilled; refills come from the back, at most one
// per removal. A clause in between is never removed (its possible second occurrence lies in
// the walked part and is the first one), so it is neither indexed nor moved.
void Watches::remove_walked(std::uint32_t code, std::size_t walked, std::span<const ClauseIndex> removed) {
    auto& list = lists_[code];
    const std::size_t length = list.size();
    check_invariant(length < NONE && walked <= length && removed.size() <= walked,
                    "watch list walk out of range");
    const std::size_t back_start = std::max(walked, length - removed.size());
    auto index = [&](std::size_t j) {
        const ClauseIndex c = list[j];
        if (c >= positions_.size()) positions_.resize(static_cast<std::size_t>(c) + 1, {NONE, NONE});
        auto& slots = positions_[c];
        if (slots[0] == NONE) {
            slots[0] = static_cast<std::uint32_t>(j);
        } else {
            check_invariant(slots[1] == NONE, "clause watched more than twice by one literal");
            slots[1] = static_cast<std::uint32_t>(j);
        }
    };
    for (std::size_t j = 0; j < walked; ++j) index(j);
    for (std::size_t j = back_start; j < length; ++j) index(j);

    std::size_t size = length;
    for (ClauseIndex c : removed) {
        check_invariant(c < positions_.size() && positions_[c][0] != NONE && size > 0,
                        "clause missing from the watch list it is removed from");
        auto& slots = positions_[c];
        const std::uint32_t hole = slots[0];
        slots[0] = slots[1];
        slots[1] = NONE;
        const auto last = static_cast<std::uint32_t>(size - 1);
        if (hole != last) {
            const ClauseIndex moved = list[last];
            list[hole] = moved;
            auto& moved_slots = positions_[moved];
            moved_slots[moved_slots[0] == last ? 0 : 1] = hole;
            if (moved_slots[1] != NONE && moved_slots[1] < moved_slots[0])
                std::swap(moved_slots[0], moved_slots[1]);
        }
        --size;
    }
    // Every indexed clause still in the list sits in one of the two regions.
    for (std::size_t j = 0; j < std::min(walked, size); ++j) positions_[list[j]] = {NONE, NONE};
    for (std::size_t j = back_start; j < size; ++j) positions_[list[j]] = {NONE, NONE};
    for (ClauseIndex c : removed) positions_[c] = {NONE, NONE};
    list.resize(size);
}

}  // namespace mekra::sat
