// Holds back the signals that politely ask the process to end (SIGTERM,
// SIGINT, SIGHUP, SIGQUIT) while a base is written, so that none of them
// leaves a base half linked: one sent meanwhile takes effect on release.
#pragma once

#include <signal.h>

namespace knotter {

struct EndingSignalsHold {
  bool held = false;
  sigset_t previousMask{};
  EndingSignalsHold() = default;
  ~EndingSignalsHold() { release(); }
  EndingSignalsHold(const EndingSignalsHold&) = delete;
  EndingSignalsHold& operator=(const EndingSignalsHold&) = delete;
  // Blocks the ending signals, unless they are held already.
  void hold();
  // Puts the signal mask back as it was before hold.
  void release();
};

}  // namespace knotter
