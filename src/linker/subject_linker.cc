#include "linker/subject_linker.h"

namespace knotter {

bool linkBySubject(const char*, Bytes, const char*, FileDescriptor&, std::int32_t& changed,
                   std::int32_t& total) {
  changed = 0;
  total = 0;
  return true;
}

}  // namespace knotter
