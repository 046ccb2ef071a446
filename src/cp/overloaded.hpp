#pragma once
// One visitor made of several lambdas, for std::visit over the constraint variant.

namespace mekra::cp {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace mekra::cp
