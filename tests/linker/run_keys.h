// Run keys for tests: a key made from a seed, so that a test sees the same
// hashes on every run, and a holder that puts the run's own key back.
#pragma once

#include <cstdint>

#include "base/run_key.h"

namespace ktest {

inline knotter::RunKey keyFromSeed(std::uint64_t seed) {
  knotter::RunKey key;
  for (std::uint64_t& word : key.words) {
    std::uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    word = z ^ (z >> 31);
  }
  return key;
}

// Makes key the run's key for a scope.
struct ScopedRunKey {
  explicit ScopedRunKey(const knotter::RunKey& key) : saved(knotter::runKey) {
    knotter::setRunKey(key);
  }
  ~ScopedRunKey() { knotter::setRunKey(saved); }
  ScopedRunKey(const ScopedRunKey&) = delete;
  ScopedRunKey& operator=(const ScopedRunKey&) = delete;

  knotter::RunKey saved;
};

}  // namespace ktest
