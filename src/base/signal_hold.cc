#include "base/signal_hold.h"

#include <initializer_list>

namespace knotter {

void EndingSignalsHold::hold() {
  if (held) return;
  sigset_t ending;
  sigemptyset(&ending);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&ending, signal);
  held = ::sigprocmask(SIG_BLOCK, &ending, &previousMask) == 0;
}

void EndingSignalsHold::release() {
  if (held) ::sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  held = false;
}

}  // namespace knotter
