// Small text helpers shared by the modules: ASCII-only case folding (the
// locale is never consulted) and copying into fixed buffers with a cut.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace knotter {

constexpr unsigned char asciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Byte-wise comparison that folds A-Z to a-z; <0, 0 or >0 like strcmp.
int compareNoCase(std::string_view a, std::string_view b);

inline bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && compareNoCase(a, b) == 0;
}

// Copies at most maxChars characters of text into out and terminates it.
// out must hold maxChars + 1 bytes. Returns the number of characters copied.
inline std::size_t copyCut(char* out, std::string_view text, std::size_t maxChars) {
  const std::size_t n = text.size() < maxChars ? text.size() : maxChars;
  // An empty view may carry a null pointer, which memcpy must not be given.
  if (n != 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

}  // namespace knotter
