#include "linker/keyed_hash.h"

namespace knotter {

std::uint64_t keyedBytesHash(const std::uint8_t* bytes, std::size_t length) {
  // The bytes past the length are not the text's own (a record keeps what
  // an earlier subject left there), so the text is copied out with zeros.
  std::uint8_t padded[maxKeyedBytes] = {};
  padded[0] = static_cast<std::uint8_t>(length);
  std::memcpy(padded + 1, bytes, length);
  return keyedMix(keyedSum(padded, (length + 8) & ~std::size_t{7}));
}

}  // namespace knotter
