#include "base/numbers.h"

#include <cerrno>
#include <cstdlib>

namespace knotter {

std::int32_t readSignedDecimal(const char* text) {
  errno = 0;
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace knotter
