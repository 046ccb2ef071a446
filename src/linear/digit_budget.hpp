#pragma once
// The memory budget for the digits of wide Rational values.
//
// Exact simplex values can grow without bound; rather than let a call exhaust the machine,
// each call that solves installs a DigitBudget for its duration. Every wide value adds the
// bytes GMP holds for it while it lives; a value that would bring the total past the limit
// throws MemoryBudgetExceeded, which ends the call with a MemoryError naming the budget.
// Outside any DigitBudget there is no limit.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

namespace mekra::linear {

// A call asked for more memory than one of its budgets allows (the digits of wide values, the
// size of a tableau). The call ends with a MemoryError whose text is the message.
class MemoryBudgetExceeded : public std::bad_alloc {
public:
    explicit MemoryBudgetExceeded(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class DigitBudget {
public:
    // The budget of one LP or MILP call: 4 GiB.
    static constexpr std::size_t CALL_LIMIT = std::size_t{4} << 30;

    // Limits the wide values created from now until destruction to `limit` bytes in all.
    // Budgets nest; the innermost one counts. One thread's budget never sees another's values.
    explicit DigitBudget(std::size_t limit);
    ~DigitBudget();
    DigitBudget(const DigitBudget&) = delete;
    DigitBudget& operator=(const DigitBudget&) = delete;

    // Accounts for `delta` more (or, negative, fewer) bytes of live wide values; throws
    // MemoryBudgetExceeded when the total passes the limit (the bytes stay counted, so the
    // value's destructor gives them back).
    static void charge(std::int64_t delta);

private:
    std::int64_t saved_used_;
    std::int64_t saved_limit_;
};

}  // namespace mekra::linear
