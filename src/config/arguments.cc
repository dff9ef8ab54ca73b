#include "config/arguments.h"

namespace knotter {

std::optional<std::string> takeValue(const char* rest, ArgCursor& args) {
  if (*rest != '\0') return std::string(rest);
  if (args.next < args.argc) return std::string(args.argv[args.next++]);
  return std::nullopt;
}

std::int32_t clampSubjectLength(std::int32_t length) {
  if (length < minSubjectLength) return defaultSubjectLength;
  if (length > maxSubjectLength) return maxSubjectLength;
  return length;
}

}  // namespace knotter
