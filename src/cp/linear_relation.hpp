#pragma once
// What a Linear relation demands of its sum, as two sides: every rule and check that depends
// on the relation asks this one table.

#include "cp/exact.hpp"
#include "cp/model.hpp"

namespace mekra::cp {

struct RelationSides {
    bool caps;    // le, eq: the sum may not exceed the right-hand side
    bool floors;  // ge, eq: the sum may not fall below it
};

constexpr RelationSides sides_of(LinearRelation relation) {
    return {relation != LinearRelation::Ge, relation != LinearRelation::Le};
}

// Whether `sign` (of sum - rhs: -1, 0 or 1) meets the relation.
constexpr bool relation_holds(int sign, LinearRelation relation) {
    const RelationSides sides = sides_of(relation);
    return (!sides.caps || sign <= 0) && (!sides.floors || sign >= 0);
}

// One term's step over the two quotient numerators: `below` = rhs - minRest and
// `above` = rhs - maxRest. lo(x) rises to ceil(n / k) and hi(x) falls to floor(n / k); with
// k > 0 a cap bounds x from above by `below` and a floor from below by `above`, with k < 0
// the other way round.
template <class N, class Raise, class Lower>
bool step_term(LinearRelation relation, bool positive, const N& below, const N& above, Raise&& raise,
               Lower&& lower) {
    const RelationSides sides = sides_of(relation);
    if (positive ? sides.floors : sides.caps) {
        if (!raise(positive ? above : below)) return false;
    }
    if (positive ? sides.caps : sides.floors) {
        if (!lower(positive ? below : above)) return false;
    }
    return true;
}

}  // namespace mekra::cp
