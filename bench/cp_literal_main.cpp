// The plain written CP algorithm (tests/cpp/cp/literal_cp.hpp) as a program, the baseline of
// bench/cp_bench.py: reads CP text from the file named by argv[1], solves it `argv[2]` times
// (default 1) and prints the status and the best time per solve in seconds.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cp/literal_cp.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    const int repeats = argc > 2 ? std::stoi(argv[2]) : 1;
    double best = 1e300;
    std::string status;
    for (int r = 0; r < repeats; ++r) {
        auto start = std::chrono::steady_clock::now();
        auto outcome = literal_cp::solve(text);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds);
        if (auto* message = std::get_if<std::string>(&outcome)) {
            status = "ERROR " + *message;
        } else {
            status = std::get<mekra::CpOutcome>(outcome) ? "SAT" : "UNSAT";
        }
    }
    std::printf("%s %.9f\n", status.c_str(), best);
    return 0;
}
