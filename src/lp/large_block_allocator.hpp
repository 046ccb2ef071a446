#pragma once
// An allocator for the tableau's large blocks. A block of 2 MiB or more is 2 MiB-aligned and,
// on Linux, marked for transparent huge pages: a fresh block of megabytes otherwise costs one
// page fault per 4 KiB when it is first written, which on mid-sized sparse programs (a few
// hundred rows, a thousand columns) took a third of the whole solve. Smaller blocks come from
// malloc as usual.

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mekra::lp {

template <class T>
struct LargeBlockAllocator {
    using value_type = T;
    static constexpr std::size_t HUGE_PAGE = std::size_t{1} << 21;

    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < HUGE_PAGE) {
            void* block = std::malloc(bytes == 0 ? 1 : bytes);
            if (block == nullptr) throw std::bad_alloc();
            return static_cast<T*>(block);
        }
        const std::size_t rounded = (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
        void* block = std::aligned_alloc(HUGE_PAGE, rounded);
        if (block == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Advice only: without huge pages the block is simply made of small ones.
        madvise(block, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept { std::free(block); }

    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace mekra::lp
