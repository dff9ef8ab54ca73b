// A fresh directory under /tmp for one test, removed with everything in it
// when the holder goes out of scope.
#pragma once

#include <filesystem>
#include <string>

namespace ktest {

struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory itself.
  const std::filesystem::path& path() const { return dir; }
  // The path of `name` inside the directory (the file need not exist).
  std::filesystem::path file(const std::string& name) const { return dir / name; }

  std::filesystem::path dir;
};

}  // namespace ktest
