#include "driver/arguments.h"

#include "config/text.h"

namespace knotter {

std::optional<std::string> takeValue(const char* rest, ArgCursor& args) {
  if (*rest != '\0') return std::string(rest);
  if (args.next < args.argc) return std::string(args.argv[args.next++]);
  return std::nullopt;
}

BasePath splitBasePath(std::string_view argument) {
  BasePath base;
  std::string_view path = argument;
  if (path.size() > 4) {
    const std::string_view suffix = path.substr(path.size() - 4);
    base.jam = equalsNoCase(suffix, ".jhr");
    if (base.jam || equalsNoCase(suffix, ".sqd")) path.remove_suffix(4);
  }
  const std::size_t slash = path.rfind('/');
  base.path = path;
  base.tag = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return base;
}

std::int32_t clampSubjectLength(std::int32_t length) {
  if (length < minSubjectLength) return defaultSubjectLength;
  if (length > maxSubjectLength) return maxSubjectLength;
  return length;
}

}  // namespace knotter
