// Turns a path as written in the configuration into a path on this system:
// relative paths count from the configuration file's directory, and the
// MapPath/SoftMapPath translations replace DOS-style prefixes.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"

namespace knotter {

struct PathMapping {
  std::string from;
  std::string to;
  bool soft = false;  // SoftMapPath: plain prefix match
};

using PathMapList = std::vector<PathMapping>;

extern PathMapList pathMapList;

// Directory of the configuration file with its trailing '/', or empty.
extern char baseDir[pathBufferSize];

// Writes the resolved form of path into out (pathBufferSize bytes) and
// returns out.
char* resolvePath(const char* path, char* out);

}  // namespace knotter
