// What the benchmarks share: milliseconds since a moment, and a figure of several runs printed as
// its median with min and max.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figure {
    std::vector<double> runs;  // milliseconds
    double median() {
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    }
    void print(const char* what, int width = 34) {
        const double middle = median();
        std::printf("  %-*s median %7.1f ms  (min %7.1f, max %7.1f)\n", width, what, middle,
                    runs.front(), runs.back());
    }
};

}  // namespace bench
