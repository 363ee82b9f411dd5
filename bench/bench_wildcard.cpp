// Wildcard matching: everyday masks and patterns that make a backtracking
// matcher explode.
#include <benchmark/benchmark.h>

#include <string>

#include "core/global_functions.h"

static void BM_WildcardExtension(benchmark::State& state) {
  const std::string name = "Some Artist - A Rather Long Song Title (Live).MP3";
  for (auto _ : state) benchmark::DoNotOptimize(MatchWildcard("*.mp3", name));
}
BENCHMARK(BM_WildcardExtension);

static void BM_WildcardManyStars(benchmark::State& state) {
  const std::string text(size_t(state.range(0)), 'a');
  for (auto _ : state) benchmark::DoNotOptimize(MatchWildcard("*a*a*a*a*a*a*a*a*b", text));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WildcardManyStars)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

static void BM_WildcardQuestionMarks(benchmark::State& state) {
  const std::string text(size_t(state.range(0)), 'a');
  for (auto _ : state) benchmark::DoNotOptimize(MatchWildcard("*??????????b", text));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WildcardQuestionMarks)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

BENCHMARK_MAIN();
