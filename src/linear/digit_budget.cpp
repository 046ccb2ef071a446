#include "linear/digit_budget.hpp"

#include <limits>

namespace mekra::linear {

namespace {

// The bytes of live wide values counted by this thread's innermost budget, and its limit.
thread_local std::int64_t used = 0;
thread_local std::int64_t limit = std::numeric_limits<std::int64_t>::max();

std::string describe(std::size_t bytes) {
    if (bytes != 0 && bytes % (std::size_t{1} << 30) == 0) return std::to_string(bytes >> 30) + " GiB";
    if (bytes != 0 && bytes % (std::size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

DigitBudget::DigitBudget(std::size_t bytes) : saved_used_(used), saved_limit_(limit) {
    used = 0;
    limit = bytes > static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max())
                ? std::numeric_limits<std::int64_t>::max()
                : static_cast<std::int64_t>(bytes);
}

DigitBudget::~DigitBudget() {
    used = saved_used_ + used;
    limit = saved_limit_;
}

void DigitBudget::charge(std::int64_t delta) {
    used += delta;
    if (delta > 0 && used > limit)
        throw MemoryBudgetExceeded("the exact values of this program need more than " +
                                   describe(static_cast<std::size_t>(limit)) + " of digits");
}

}  // namespace mekra::linear
