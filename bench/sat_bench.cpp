// Counters and reading speed for the SAT benchmark (bench/sat_bench.py drives it).
//
//   sat_bench solve FILE...   one line per file: name, answer, decisions, conflicts,
//                             propagations, propagated literals, clause visits, seconds
//   sat_bench read FILE       best-of-5 parse_dimacs throughput in MB/s
//
// Files are read whole; a line starting with "%" ends the formula (SATLIB's end marker).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "sat/dimacs.hpp"
#include "sat/solver.hpp"

namespace {

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
        if (start < text.size() && text[start] == '%') {
            text.resize(pos);
            break;
        }
        pos = text.find('\n', pos);
        if (pos == std::string::npos) break;
        ++pos;
    }
    return text;
}

// Process CPU time, as MiniSat reports it: other load on the machine does not count.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int solve(const char* path) {
    const std::string text = read_file(path);
    const double start = cpu_seconds();
    auto read = mekra::sat::parse_dimacs(text);
    if (auto* message = std::get_if<std::string>(&read)) {
        std::fprintf(stderr, "%s: %s\n", path, message->c_str());
        return 1;
    }
    const auto& formula = std::get<mekra::sat::CnfFormula>(read);
    mekra::sat::SatSolver solver;
    std::uint64_t needed = 0;
    for (std::int32_t d : formula.literals)
        needed = std::max<std::uint64_t>(needed, d < 0 ? -std::int64_t{d} : d);
    solver.ensure_vars(needed);
    solver.reserve_for(formula);
    for (std::size_t k = 0; k < formula.clause_count(); ++k) solver.add_clause(formula.clause(k));
    const bool sat = solver.solve().satisfiable;
    const double elapsed = cpu_seconds() - start;
    const auto& c = solver.counters();
    std::printf("%s %s %llu %llu %llu %llu %llu %.6f\n", path, sat ? "SAT" : "UNSAT",
                static_cast<unsigned long long>(c.decisions), static_cast<unsigned long long>(c.conflicts),
                static_cast<unsigned long long>(c.propagations),
                static_cast<unsigned long long>(c.propagated),
                static_cast<unsigned long long>(c.clause_visits), elapsed);
    return 0;
}

int read_speed(const char* path) {
    const std::string text = read_file(path);
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
        const double start = cpu_seconds();
        auto read = mekra::sat::parse_dimacs(text);
        const double elapsed = cpu_seconds() - start;
        if (std::holds_alternative<std::string>(read)) {
            std::fprintf(stderr, "%s: %s\n", path, std::get<std::string>(read).c_str());
            return 1;
        }
        best = std::min(best, elapsed);
    }
    std::printf("%zu %.6f %.1f\n", text.size(), best, static_cast<double>(text.size()) / 1e6 / best);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "solve") {
        int status = 0;
        for (int i = 2; i < argc; ++i) status |= solve(argv[i]);
        return status;
    }
    if (argc == 3 && std::string(argv[1]) == "read") return read_speed(argv[2]);
    std::fprintf(stderr, "usage: sat_bench solve FILE... | sat_bench read FILE\n");
    return 2;
}
