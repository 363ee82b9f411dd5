// Wall-clock timing shared by the benchmarks.
#pragma once
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

// Seconds that rounds runs of fn take together.
inline double Seconds(const std::function<void()>& fn, int rounds = 1) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The mean seconds of our pass and of the baseline's, run in turn once per
// iteration of the benchmark so that a load on the machine falls on both;
// then (when given) runs after each pair.
struct Beside {
  double ours = 0;
  double baseline = 0;
};

inline Beside TimeBeside(benchmark::State& state, const std::function<void()>& ours,
                         const std::function<void()>& baseline, const std::function<void()>& then = {}) {
  Beside b;
  for (auto _ : state) {
    b.ours += Seconds(ours);
    b.baseline += Seconds(baseline);
    if (then) then();
  }
  const double n = double(state.iterations());
  b.ours /= n;
  b.baseline /= n;
  return b;
}
