#include "lp/large_block_allocator.hpp"

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace mekra::lp {

namespace {

struct Kept {
    std::mutex mutex;
    std::vector<std::pair<void*, std::size_t>> blocks;  // oldest first
    std::size_t bytes = 0;
};

// Never destroyed: solves on other threads may give blocks back during interpreter shutdown.
Kept& kept() {
    static Kept* instance = new Kept;
    return *instance;
}

}  // namespace

void* LargeBlockCache::take(std::size_t bytes) {
    {
        Kept& k = kept();
        std::lock_guard lock(k.mutex);
        for (std::size_t i = k.blocks.size(); i-- > 0;) {
            if (k.blocks[i].second != bytes) continue;
            void* block = k.blocks[i].first;
            k.blocks.erase(k.blocks.begin() + static_cast<std::ptrdiff_t>(i));
            k.bytes -= bytes;
            return block;
        }
    }
    void* block = std::aligned_alloc(HUGE_PAGE, bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void LargeBlockCache::give_back(void* block, std::size_t bytes) noexcept {
    if (bytes > KEPT_BYTES) {
        std::free(block);
        return;
    }
    std::vector<void*> freed;
    {
        Kept& k = kept();
        std::lock_guard lock(k.mutex);
        std::size_t evict = 0;
        while (k.bytes + bytes > KEPT_BYTES) {
            freed.push_back(k.blocks[evict].first);
            k.bytes -= k.blocks[evict].second;
            ++evict;
        }
        k.blocks.erase(k.blocks.begin(), k.blocks.begin() + static_cast<std::ptrdiff_t>(evict));
        try {
            k.blocks.emplace_back(block, bytes);
            k.bytes += bytes;
        } catch (...) {
            freed.push_back(block);  // no room to remember it
        }
    }
    for (void* old : freed) std::free(old);
}

void LargeBlockCache::release_all() noexcept {
    std::vector<std::pair<void*, std::size_t>> blocks;
    {
        Kept& k = kept();
        std::lock_guard lock(k.mutex);
        blocks.swap(k.blocks);
        k.bytes = 0;
    }
    for (auto& [block, bytes] : blocks) std::free(block);
}

std::size_t LargeBlockCache::kept_bytes() noexcept {
    Kept& k = kept();
    std::lock_guard lock(k.mutex);
    return k.bytes;
}

}  // namespace mekra::lp
