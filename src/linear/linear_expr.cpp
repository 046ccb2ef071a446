#include "linear/linear_expr.hpp"

#include <algorithm>
#include <cassert>

namespace mekra::linear {

namespace {

[[maybe_unused]] bool in_normal_form(const std::vector<Term>& terms) {
    for (std::size_t i = 0; i < terms.size(); ++i) {
        if (terms[i].coefficient.is_zero()) return false;
        if (i > 0 && terms[i - 1].var >= terms[i].var) return false;
    }
    return true;
}

// Adds one term to a list in normal form, in place: most expressions are built term by term
// with variables in increasing order, so this is usually an append.
void add_term(std::vector<Term>& terms, Term t) {
    if (terms.empty() || terms.back().var < t.var) {
        terms.push_back(t);
        return;
    }
    auto it = std::lower_bound(terms.begin(), terms.end(), t.var,
                               [](const Term& term, VarId v) { return term.var < v; });
    if (it->var != t.var) {
        terms.insert(it, t);
        return;
    }
    Rational sum = it->coefficient + t.coefficient;
    if (sum.is_zero())
        terms.erase(it);
    else
        it->coefficient = sum;
}

// Merges two lists in normal form; for a shared variable the coefficient is a's plus b's.
std::vector<Term> merge(const std::vector<Term>& a, const std::vector<Term>& b) {
    std::vector<Term> out;
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].var < b[j].var) {
            out.push_back(a[i++]);
        } else if (b[j].var < a[i].var) {
            out.push_back(b[j++]);
        } else {
            Rational sum = a[i].coefficient + b[j].coefficient;
            if (!sum.is_zero()) out.push_back(Term{sum, a[i].var});
            ++i;
            ++j;
        }
    }
    out.insert(out.end(), a.begin() + static_cast<std::ptrdiff_t>(i), a.end());
    out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(j), b.end());
    return out;
}

}  // namespace

LinearExpr LinearExpr::var(VarId x) { return LinearExpr{{Term{Rational::integer(1), x}}, Rational()}; }

LinearExpr LinearExpr::term(Rational c, VarId x) {
    if (c.is_zero()) return LinearExpr{};
    return LinearExpr{{Term{c, x}}, Rational()};
}

LinearExpr LinearExpr::from_constant(Rational k) { return LinearExpr{{}, k}; }

// For operands in normal form a sorted merge gives exactly what concatenating, stable
// sorting, combining neighbours and dropping zeros gives, with the same Rational sums.
LinearExpr LinearExpr::add(LinearExpr a, LinearExpr b) {
    assert(in_normal_form(a.terms) && in_normal_form(b.terms));
    a.constant = a.constant + b.constant;
    if (b.terms.empty()) return a;
    if (a.terms.empty()) {
        a.terms = std::move(b.terms);
    } else if (b.terms.size() == 1) {
        add_term(a.terms, b.terms.front());
    } else {
        a.terms = merge(a.terms, b.terms);
    }
    return a;
}

LinearExpr LinearExpr::neg(LinearExpr a) {
    for (Term& t : a.terms) t.coefficient = -t.coefficient;
    a.constant = -a.constant;
    return a;
}

LinearExpr LinearExpr::sub(LinearExpr a, LinearExpr b) { return add(std::move(a), neg(std::move(b))); }

}  // namespace mekra::linear
