// One line of the benchmark table: the figure's name, its value, the goal it is
// held to, and how it was measured. scripts/bench prints a header above them.
#pragma once

#include <cstdio>
#include <string>

namespace quorbin::bench {

inline void PrintFigure(const char* name, double value, const char* goal,
                        const std::string& details, int decimals = 2) {
  std::printf("%-30s %9.*f  %-9s %s\n", name, decimals, value, goal, details.c_str());
  std::fflush(stdout);
}

}  // namespace quorbin::bench
