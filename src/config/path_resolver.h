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

// True when path is not empty and begins with '/' or '\\' or holds a ':'
// anywhere (a DOS drive); such paths do not count from baseDir.
bool isAbsolutePath(const char* path);

// Writes the resolved form of path into out (pathBufferSize bytes): baseDir
// before a relative path, then every matching mapping in list order. Returns
// false when the result, or a step on the way, is longer than maxPathLength:
// out then holds it as far as it fits, for messages only, never to be opened.
// REQUIRES: out does not overlap path.
bool resolvePath(const char* path, char* out);

}  // namespace knotter
