#pragma once
// Internal invariant failures.
//
// A broken invariant (a zero pivot, a zero DIMACS literal, an index outside a list) is a bug,
// never a consequence of input. It throws the one exception type below, which unwinds the
// whole call; the module surface turns it into PanicException and writes a one-line
// diagnostic with the failed check and its source location to standard error.

#include <exception>
#include <source_location>
#include <string>

namespace mekra {

class InvariantFailure : public std::exception {
public:
    InvariantFailure(std::string message, std::source_location where)
        : message_(std::move(message)), where_(where) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    const std::source_location& where() const noexcept { return where_; }

private:
    std::string message_;
    std::source_location where_;
};

// Throws InvariantFailure carrying `message` and the caller's source location.
[[noreturn]] inline void fail_invariant(std::string message,
                                        std::source_location where = std::source_location::current()) {
    throw InvariantFailure(std::move(message), where);
}

// Always-on contract check: `message` is the text the caller sees in PanicException.
inline void check_invariant(bool holds, const char* message,
                            std::source_location where = std::source_location::current()) {
    if (!holds) [[unlikely]]
        fail_invariant(message, where);
}

}  // namespace mekra
