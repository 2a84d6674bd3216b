// BenchClock: the benchmarks' clock and median.
#pragma once

#include <algorithm>
#include <ctime>
#include <utility>
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

// Runs `a` and `b` (callables giving a result with its milliseconds in
// `ms`, negative when the run failed) by turns: `warmUp` times each not
// counted, then `runs` times each, so that a change in the machine's load
// falls on both alike. Each one's result of median time; two default
// results when a run fails.
template <typename RunA, typename RunB>
auto pairedMedians(RunA &&a, RunB &&b, int runs, int warmUp)
{
    using Result = decltype(a());
    for (int i = 0; i < warmUp; ++i) {
        if (a().ms < 0 || b().ms < 0)
            return std::pair<Result, Result>{};
    }
    std::vector<Result> as, bs;
    for (int i = 0; i < runs; ++i) {
        as.push_back(a());
        bs.push_back(b());
        if (as.back().ms < 0 || bs.back().ms < 0)
            return std::pair<Result, Result>{};
    }
    const auto middle = [](std::vector<Result> &all) {
        std::sort(all.begin(), all.end(), [](const Result &x, const Result &y) { return x.ms < y.ms; });
        return all[all.size() / 2];
    };
    return std::pair<Result, Result>{middle(as), middle(bs)};
}
