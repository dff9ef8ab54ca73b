#include "base/mapping.h"

#include <setjmp.h>
#include <signal.h>

#include <cstring>

namespace knotter {
namespace {

// The live mappings. A run maps one base at a time; the inspector, one.
constexpr int maxLiveMappings = 8;

struct LiveMapping {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
};

LiveMapping liveMappings[maxLiveMappings];
sigjmp_buf* activeGuard = nullptr;

bool onLiveMapping(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (const LiveMapping& live : liveMappings) {
    if (at >= live.begin && at < live.end) return true;
  }
  return false;
}

// A fault on a live mapping while a guard runs leaves the guarded work at
// the faulting access. Any other fault is a fault of this program: the
// default action is put back and the access faults again, ending the
// process as it would have without the handler.
void onBusError(int signal, siginfo_t* info, void*) {
  if (activeGuard != nullptr && onLiveMapping(info->si_addr)) siglongjmp(*activeGuard, 1);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
}

// The handler is installed with the first guard, and SIGBUS is unblocked:
// a fault while it is blocked (a mask inherited from whatever started the
// run) would end the process whatever the handler says.
void installBusErrorHandler() {
  struct sigaction action {};
  action.sa_sigaction = onBusError;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO;
  ::sigaction(SIGBUS, &action, nullptr);
  sigset_t busError;
  sigemptyset(&busError);
  sigaddset(&busError, SIGBUS);
  ::sigprocmask(SIG_UNBLOCK, &busError, nullptr);
}

void addLiveMapping(const void* address, std::size_t length) {
  for (LiveMapping& live : liveMappings) {
    if (live.begin != live.end) continue;
    live.begin = reinterpret_cast<std::uintptr_t>(address);
    live.end = live.begin + length;
    return;
  }
}

void removeLiveMapping(const void* address) {
  for (LiveMapping& live : liveMappings) {
    if (live.begin == reinterpret_cast<std::uintptr_t>(address)) live = LiveMapping{};
  }
}

}  // namespace

bool Mapping::map(int fd, std::size_t size, int protection) {
  unmap();
  address = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
  length = size;
  if (mapped()) addLiveMapping(address, length);
  return mapped();
}

void Mapping::unmap() {
  if (!mapped()) return;
  removeLiveMapping(address);
  ::munmap(address, length);
  address = MAP_FAILED;
}

bool guardMappingFaults(void (*work)(void* context), void* context) {
  static const bool installed = (installBusErrorHandler(), true);
  (void)installed;
  sigjmp_buf guard;
  sigjmp_buf* const outer = activeGuard;
  // The mask is saved, so that signals held back by the work (the ending
  // signals, while a base is written) are as before when a fault ends it.
  if (sigsetjmp(guard, 1) != 0) {
    activeGuard = outer;
    return false;
  }
  activeGuard = &guard;
  try {
    work(context);
  } catch (...) {
    activeGuard = outer;
    throw;
  }
  activeGuard = outer;
  return true;
}

}  // namespace knotter
