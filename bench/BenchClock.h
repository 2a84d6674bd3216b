// BenchClock: the benchmarks' clock and median.
#pragma once

#include <algorithm>
#include <ctime>
#include <vector>

// Milliseconds on `clock` (CLOCK_MONOTONIC for wall-clock time,
// CLOCK_THREAD_CPUTIME_ID for this thread's CPU time).
inline double millisecondsOn(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The median of `values`, 0 for none.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}
