// Side-by-side timing inside one benchmark process: each round runs both
// variants, the one that goes first alternating from round to round, and a
// figure is the ratio of the two medians. Alternating keeps a slow phase of
// the machine (another process, a cache flush) from landing on one side only.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

struct Medians {
  double ours;       // seconds per round
  double reference;  // seconds per round
};

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

template <typename Step>
double secondsOf(Step& step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One warm-up call of each, then `rounds` timed calls of each.
template <typename Ours, typename Reference>
Medians alternate(int rounds, Ours ours, Reference reference) {
  ours();
  reference();
  std::vector<double> oursTimes;
  std::vector<double> referenceTimes;
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      oursTimes.push_back(secondsOf(ours));
      referenceTimes.push_back(secondsOf(reference));
    } else {
      referenceTimes.push_back(secondsOf(reference));
      oursTimes.push_back(secondsOf(ours));
    }
  }
  return {median(oursTimes), median(referenceTimes)};
}

// The lines the harness reads: "<name>_ours_s=...", "<name>_reference_s=...".
inline void report(const char* name, const Medians& medians) {
  std::printf("%s_ours_s=%.9f\n%s_reference_s=%.9f\n", name, medians.ours, name,
              medians.reference);
}

}  // namespace bench
