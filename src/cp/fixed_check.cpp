// The exact check of a leaf: with every domain fixed, each constraint is evaluated on the
// values as written (Linear terms unmerged, in 192-bit sums), independent of the rules.

#include <algorithm>
#include <variant>

#include "cp/linear_relation.hpp"
#include "cp/overloaded.hpp"
#include "cp/propagator.hpp"

namespace mekra::cp {

bool CpStore::satisfied_by_fixed() const {
    for (const Domain& d : domains_) {
        if (!d.fixed()) return false;
    }
    auto value = [&](VarIndex var) -> std::int64_t { return domains_[var].lo; };
    auto holds = Overloaded{
        [&](const Eq& eq) { return value(eq.a) == value(eq.b); },
        [&](const Neq& neq) { return value(neq.a) != value(neq.b); },
        [&](const Lt& lt) { return value(lt.a) < value(lt.b); },
        [&](const Le& le) {
            return static_cast<Int128>(value(le.a)) <= static_cast<Int128>(value(le.b)) + le.c;
        },
        [&](const Linear& linear) {
            ExactSum sum(0);
            for (const LinearTerm& term : linear.terms)
                sum += static_cast<Int128>(term.coeff) * value(term.var);
            sum -= ExactSum(linear.rhs);  // sum - rhs, compared with 0
            return relation_holds(sum.sign(), linear.relation);
        },
        [&](const AllDiff& all) {
            std::vector<std::int64_t> values;
            values.reserve(all.vars.size());
            for (VarIndex var : all.vars) values.push_back(value(var));
            std::sort(values.begin(), values.end());
            return std::adjacent_find(values.begin(), values.end()) == values.end();
        },
    };
    return std::all_of(constraints_.begin(), constraints_.end(),
                       [&](const CpConstraint& constraint) { return std::visit(holds, constraint); });
}

}  // namespace mekra::cp
