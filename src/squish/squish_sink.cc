#include "squish/squish_sink.h"

#include <fcntl.h>

#include "base/file_lock.h"
#include "log/area_reports.h"

namespace knotter {

LinkFields SquishSink::current(const MessageRef& message, std::span<const std::uint8_t>) {
  // The frames were checked when they were read, and none overlaps another,
  // so the fields are read back where they will be written.
  const std::uint64_t at = fieldsAt(message.locator);
  LinkFields fields;
  fields.replyTo = load32(data_, at);
  for (std::size_t k = 0; k < replySlots; ++k) fields.replies[k] = load32(data_, at + 4 + 4 * k);
  return fields;
}

bool SquishSink::store(const MessageRef& message, std::span<const std::uint8_t>,
                       const LinkFields& current, const LinkFields& fresh) {
  if (!takeWriteAccess()) return false;
  const std::uint64_t at = fieldsAt(message.locator);
  if (fresh.replyTo != current.replyTo) store32(data_, at, fresh.replyTo);
  for (std::size_t k = 0; k < replySlots; ++k) {
    if (fresh.replies[k] != current.replies[k]) store32(data_, at + 4 + 4 * k, fresh.replies[k]);
  }
  return true;
}

void SquishSink::prefetch(std::uint32_t ofs) {
  const std::uint64_t at = fieldsAt(ofs);
  knotter::prefetch(data_, at);
  knotter::prefetch(data_, at + 4 * (1 + replySlots) - 1);
}

bool SquishSink::finish(std::uint32_t) {
  signals_.release();
  return true;
}

bool SquishSink::takeWriteAccess() {
  if (writable_) return true;
  // Held from before the request: once we have asked for the lock, the area
  // is either written whole or not at all, whatever signal comes.
  signals_.hold();
  // Linux keeps our shared lock while the exclusive one is waited for, so
  // what was read under it is still what the base holds once it is granted.
  // Two runs that both wait would wait for each other: the kernel refuses
  // the second with EDEADLK, and that run gives its area up.
  const int error = file_.fd < 0 ? 0 : lockBounded(file_.fd, F_WRLCK);
  if (error != 0) {
    reportCannotOpen(file_.path, error);
    return false;
  }
  writable_ = true;
  return true;
}

}  // namespace knotter
