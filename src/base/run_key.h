// Random words drawn once per run. The linkers' hash tables are keyed by
// them, so that mail from elsewhere, however it was chosen, cannot know which
// of its texts will share a slot or a bucket: the key is drawn after the
// mail was written and never leaves the process.
#pragma once

#include <cstdint>

namespace knotter {

constexpr int runKeyWords = 12;

struct RunKey {
  std::uint64_t words[runKeyWords] = {};
};

// The run's key, drawn by drawRunKey before main runs.
extern RunKey runKey;

// A fresh key from the kernel's random source, taken without waiting
// (getrandom with GRND_NONBLOCK, so that a machine early in its boot is not
// held up); when that gives nothing, mixedRunKey.
RunKey drawRunKey();

// A key mixed from the clocks, the process ids, a count of the keys mixed
// and addresses that the address space layout places at random: not what the
// kernel gives, but nothing that a sender of mail can know.
RunKey mixedRunKey();

// Test hook: makes key the run's key.
void setRunKey(const RunKey& key);

}  // namespace knotter
