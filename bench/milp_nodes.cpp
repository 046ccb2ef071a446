// Benchmark helper: reads one LP/MILP text from standard input, runs branch and bound and
// prints "<explored> <limit reached 0/1> <unresolved>" and the outcome's status text.
#include <iostream>
#include <iterator>
#include <string>
#include <variant>

#include "lp/reader.hpp"
#include "milp/solver.hpp"

int main() {
    const std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    mekra::lp::LpReadResult read = mekra::lp::parse_lp(text);
    if (!std::holds_alternative<mekra::lp::LinearProgram>(read)) {
        std::cout << "0 0 0\nunreadable\n";
        return 0;
    }
    const mekra::milp::MilpSearch search = mekra::milp::search_milp(std::get<mekra::lp::LinearProgram>(read));
    std::cout << search.explored << ' ' << (search.limit_reached ? 1 : 0) << ' ' << search.unresolved << '\n'
              << mekra::status_text(search.outcome) << '\n';
}
