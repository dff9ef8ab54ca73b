// Owns the shared mapping of a whole base file, and keeps a fault on it from
// ending the run: another program may cut the file short while it is mapped,
// and the next access to a page past the new end raises SIGBUS. Work that
// reads or writes mappings runs under guardMappingFaults, which ends only
// that work when such a fault strikes one of the live mappings.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

#include "base/bytes.h"

namespace knotter {

// A shared mapping of the first length bytes of a file: writable for
// linking, so that stores reach the file, or read-only for the tools that
// only inspect a base (a write through it faults instead of reaching the
// file). While it is mapped, a fault on it is one guardMappingFaults catches.
struct Mapping {
  void* address = MAP_FAILED;
  std::size_t length = 0;
  Mapping() = default;
  ~Mapping() { unmap(); }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  // Maps the first size bytes of fd in place of what was mapped; false when
  // that fails.
  bool map(int fd, std::size_t size, int protection);
  bool mapped() const { return address != MAP_FAILED; }
  Bytes bytes() const { return {static_cast<std::uint8_t*>(address), mapped() ? length : 0}; }
  void unmap();
};

// Runs work(context). Returns true when it returned; false when a fault on a
// live Mapping (the file under it cut short, an I/O error of its file
// system) stopped it at the faulting access. An exception passes through. The signal mask is then what it
// was at the call. REQUIRES: work and whatever it calls keep no automatic
// object with a non-trivial destructor alive across an access to a mapping,
// and take every resource that must be released in a scope outside this
// call, since the fault leaves work without unwinding.
bool guardMappingFaults(void (*work)(void* context), void* context);

// The same for a callable, which the call keeps outside the guarded frames.
template <typename Work>
bool guardMappingFaults(Work& work) {
  return guardMappingFaults([](void* context) { (*static_cast<Work*>(context))(); }, &work);
}

}  // namespace knotter
