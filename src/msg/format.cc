#include "msg/format.h"

#include <cstring>

namespace knotter {
namespace {

// True when the NUL-terminated text of a fixed field equals text byte for
// byte; a field without a NUL is compared whole.
bool fieldIs(const std::uint8_t* field, std::size_t size, std::string_view text) {
  const void* nul = std::memchr(field, 0, size);
  const std::size_t length =
      nul == nullptr ? size : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field);
  return length == text.size() && std::memcmp(field, text.data(), length) == 0;
}

constexpr std::string_view msgSuffix = ".msg";
constexpr std::size_t maxNumberDigits = 5;

}  // namespace

bool isHighwaterHeader(const std::uint8_t* header) {
  const std::uint8_t* from = header + msgFromOffset;
  if (fieldIs(from, msgFromSize, msgApiHighwaterFrom)) return true;
  if (fieldIs(from, msgFromSize, maximusHighwaterFrom)) return true;
  return fieldIs(from, msgFromSize, crashMailHighwaterFrom) &&
         fieldIs(header + msgSubjectOffset, msgSubjectSize, crashMailHighwaterSubject);
}

std::uint32_t msgNumberOfName(std::string_view name) {
  if (name.size() <= msgSuffix.size() || !name.ends_with(msgSuffix)) return 0;
  const std::string_view digits = name.substr(0, name.size() - msgSuffix.size());
  if (digits.size() > maxNumberDigits || digits[0] < '1' || digits[0] > '9') return 0;
  std::uint32_t number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return number <= msgLargestNumber ? number : 0;
}

void msgNameOf(std::uint32_t number, char (&out)[msgNameBufferSize]) {
  char digits[maxNumberDigits];
  std::size_t count = 0;
  number %= msgLargestNumber + 1;  // what the name can hold
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  std::size_t at = 0;
  while (count > 0) out[at++] = digits[--count];
  std::memcpy(out + at, ".msg", msgSuffix.size() + 1);
}

std::string msgPathOf(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string_view msgDirectoryOf(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

}  // namespace knotter
