#include "support/temp_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace ktest {

TempDir::TempDir() {
  std::string pattern = "/tmp/knotter-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  dir = pattern;
}

TempDir::~TempDir() {
  // Tests may leave files without write permission behind; restore the
  // directory's own permission so that removal cannot fail on it.
  std::error_code ignored;
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace ktest
