#pragma once
// Clause storage: every clause in one contiguous arena, addressed by its index, never moved.

#include <cstdint>
#include <span>
#include <vector>

#include "sat/literal.hpp"

namespace mekra::sat {

using ClauseIndex = std::uint32_t;

// Watch code of a clause watch not yet placed.
inline constexpr std::uint32_t NO_WATCH = UINT32_MAX;

// The literals of one clause, read in place as Literal values.
class LiteralSpan {
public:
    class iterator {
    public:
        explicit iterator(const std::uint32_t* p) : p_(p) {}
        Literal operator*() const { return Literal::from_code(*p_); }
        iterator& operator++() {
            ++p_;
            return *this;
        }
        friend bool operator==(iterator, iterator) = default;

    private:
        const std::uint32_t* p_;
    };

    LiteralSpan(const std::uint32_t* begin, std::size_t size) : begin_(begin), size_(size) {}
    iterator begin() const { return iterator(begin_); }
    iterator end() const { return iterator(begin_ + size_); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Literal operator[](std::size_t i) const { return Literal::from_code(begin_[i]); }

private:
    const std::uint32_t* begin_;
    std::size_t size_;
};

// Clauses are only ever appended. Each occupies a header and its literals' watch codes, side
// by side so that propagation touches one place per clause. The header records the literals
// the clause's two watch-list entries are under (equal when both are under one literal).
// A clause's activity is fixed at 0.0 and never read, so it is not stored; no clause is ever
// deleted, so there is no deleted flag.
class ClauseArena {
public:
    ClauseIndex add(std::span<const Literal> literals, bool learnt);
    void reserve(std::size_t clauses, std::size_t literals) {
        starts_.reserve(clauses);
        words_.reserve(literals + HEADER * clauses);
    }

    std::size_t size() const { return starts_.size(); }
    LiteralSpan literals(ClauseIndex c) const {
        const std::uint32_t* header = words_.data() + starts_[c];
        return LiteralSpan(header + HEADER, header[SIZE]);
    }
    bool learnt(ClauseIndex c) const { return (words_[starts_[c] + FLAGS] & LEARNT) != 0; }

    // The two watch codes the clause is listed under.
    std::uint32_t watch(ClauseIndex c, int k) const { return words_[starts_[c] + WATCH0 + k]; }
    void set_watches(ClauseIndex c, std::uint32_t first, std::uint32_t second) {
        words_[starts_[c] + WATCH0] = first;
        words_[starts_[c] + WATCH1] = second;
    }

    // Raw access for the propagation loop: the clause's header, literals following it.
    const std::uint32_t* header(ClauseIndex c) const { return words_.data() + starts_[c]; }
    std::uint32_t* header(ClauseIndex c) { return words_.data() + starts_[c]; }
    void prefetch_start(ClauseIndex c) const { __builtin_prefetch(starts_.data() + c); }

    static constexpr std::size_t SIZE = 0, FLAGS = 1, WATCH0 = 2, WATCH1 = 3, HEADER = 4;
    static constexpr std::uint32_t LEARNT = 1;

private:
    std::vector<std::uint32_t> words_;   // headers and literal codes of all clauses
    std::vector<std::uint64_t> starts_;  // clause c's header begins at words_[starts_[c]]
};

}  // namespace mekra::sat
