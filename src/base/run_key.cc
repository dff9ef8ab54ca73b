#include "base/run_key.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace knotter {
namespace {

// splitmix64: every input bit reaches every output bit, so the few
// uncertain bits of each source spread over the whole key.
std::uint64_t mixStep(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint64_t clockNanoseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

// Fills the key from the kernel; false when it cannot give all of it now.
bool kernelKey(RunKey& key) {
  ssize_t n;
  do {
    n = getrandom(key.words, sizeof key.words, GRND_NONBLOCK);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof key.words);
}

}  // namespace

RunKey runKey = drawRunKey();

RunKey drawRunKey() {
  RunKey key;
  const int savedErrno = errno;  // drawn before main: leave no trace
  if (!kernelKey(key)) key = mixedRunKey();
  errno = savedErrno;
  return key;
}

RunKey mixedRunKey() {
  static std::uint64_t mixed = 0;
  const int local = 0;
  const std::uint64_t sources[] = {
      clockNanoseconds(CLOCK_REALTIME),
      clockNanoseconds(CLOCK_MONOTONIC),
      (static_cast<std::uint64_t>(getpid()) << 32) ^ static_cast<std::uint64_t>(getppid()),
      ++mixed,
      reinterpret_cast<std::uintptr_t>(&local),
      reinterpret_cast<std::uintptr_t>(&mixedRunKey),
      reinterpret_cast<std::uintptr_t>(&runKey),
  };
  std::uint64_t state = 0;
  for (const std::uint64_t source : sources) {
    state ^= source;
    state = mixStep(state);
  }
  RunKey key;
  for (std::uint64_t& word : key.words) word = mixStep(state);
  return key;
}

void setRunKey(const RunKey& key) { runKey = key; }

}  // namespace knotter
