#include "config/path_resolver.h"

#include <cstring>
#include <string_view>

#include "config/text.h"

namespace knotter {

PathMapList pathMapList;
char baseDir[pathBufferSize] = {};

namespace {

// Appends text to the path in out (of length used), stopping at
// maxPathLength characters; with toSlashes every '\' becomes '/'. Returns
// the new length; clears fits when text had to be cut.
std::size_t appendCut(char* out, std::size_t used, std::string_view text, bool toSlashes,
                      bool& fits) {
  for (const char c : text) {
    if (used >= maxPathLength) {
      fits = false;
      break;
    }
    out[used++] = (toSlashes && c == '\\') ? '/' : c;
  }
  out[used] = '\0';
  return used;
}

// The text of path after the part a mapping replaces, or false when the
// mapping does not apply to path.
bool matchMapping(const PathMapping& mapping, std::string_view path, std::string_view& remainder) {
  if (mapping.soft) {
    // A plain prefix, whatever directory boundaries it cuts through.
    if (path.size() < mapping.from.size()) return false;
    if (!equalsNoCase(path.substr(0, mapping.from.size()), mapping.from)) return false;
    remainder = path.substr(mapping.from.size());
    return true;
  }
  // The whole directory part up to the last backslash must be the prefix.
  const std::size_t slash = path.rfind('\\');
  const std::size_t dirLength = slash == std::string_view::npos ? path.size() : slash + 1;
  if (!equalsNoCase(path.substr(0, dirLength), mapping.from)) return false;
  remainder = path.substr(dirLength);
  return true;
}

}  // namespace

bool isAbsolutePath(const char* path) {
  if (path[0] == '\0') return false;
  return path[0] == '\\' || path[0] == '/' || std::strchr(path, ':') != nullptr;
}

bool resolvePath(const char* path, char* out) {
  // Once any step has cut, the result names some other file, whatever a
  // later mapping makes of it.
  bool fits = true;
  std::size_t used = 0;
  out[0] = '\0';
  if (!isAbsolutePath(path)) used = appendCut(out, used, baseDir, false, fits);
  appendCut(out, used, path, false, fits);

  // Each mapping sees the result of the ones before it.
  for (const PathMapping& mapping : pathMapList) {
    std::string_view remainder;
    if (!matchMapping(mapping, out, remainder)) continue;
    char rest[pathBufferSize];
    copyCut(rest, remainder, maxPathLength);
    used = appendCut(out, 0, mapping.to, false, fits);
    appendCut(out, used, rest, true, fits);
  }
  return fits;
}

}  // namespace knotter
