#pragma once
// An allocator for the tableau's large blocks. First writes to fresh memory cost a page fault
// per 4 KiB; on mid-sized sparse programs (a few hundred rows, a thousand columns) they took a
// third of the whole solve. So a block of 2 MiB or more is 2 MiB-aligned, and a freed one is
// kept for the next solve of this process (see LargeBlockCache), which can then write into
// memory that is already mapped. Smaller blocks come from malloc as usual. The contents of a
// block are never relied on: its user constructs every element.
//
// The blocks are not advised for transparent huge pages: where Linux compacts memory for
// them on demand (its usual setting), a machine whose memory is fragmented by other work
// stalls for milliseconds per huge page. stocfor2's 150 MB block took 1.0 s instead of
// 0.35 s after another process had run, against 0.30 s with huge pages at hand.

#include <cstddef>
#include <cstdint>
#include <new>

namespace mekra::lp {

// Raw blocks of whole huge pages, kept after use up to a fixed total.
class LargeBlockCache {
public:
    static constexpr std::size_t HUGE_PAGE = std::size_t{1} << 21;
    // Freed blocks kept for reuse, in bytes at most: a process that once solved a large
    // program keeps no more than this of it.
    static constexpr std::size_t KEPT_BYTES = std::size_t{64} << 20;

    // A block of at least `bytes` (a multiple of HUGE_PAGE); throws std::bad_alloc.
    static void* take(std::size_t bytes);
    // Gives back a block from take() of `bytes`; it is kept or freed.
    static void give_back(void* block, std::size_t bytes) noexcept;
    // Frees every kept block (tests).
    static void release_all() noexcept;
    // The bytes currently kept (tests).
    static std::size_t kept_bytes() noexcept;
};

template <class T>
struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T) - LargeBlockCache::HUGE_PAGE) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < LargeBlockCache::HUGE_PAGE) return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(LargeBlockCache::take(rounded(bytes)));
    }
    void deallocate(T* block, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < LargeBlockCache::HUGE_PAGE)
            ::operator delete(block);
        else
            LargeBlockCache::give_back(block, rounded(bytes));
    }

    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }

private:
    static std::size_t rounded(std::size_t bytes) {
        const std::size_t page = LargeBlockCache::HUGE_PAGE;
        return (bytes + page - 1) / page * page;
    }
};

}  // namespace mekra::lp
