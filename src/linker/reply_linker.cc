#include "linker/reply_linker.h"

namespace knotter {

bool linkByMsgId(std::int32_t, const char*, Bytes, const char*, FileDescriptor&,
                 std::int32_t& changed, std::int32_t& total) {
  changed = 0;
  total = 0;
  return true;
}

}  // namespace knotter
