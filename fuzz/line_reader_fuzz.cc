// Feeds arbitrary text to the line reader through a memory file, with a
// token buffer size from the first input byte, and compares the tokens of
// every line with a plain split of the text: lines end at CR or LF, tokens
// are separated by spaces and tabs and cut to size - 1 bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/line_reader.h"
#include "write_all.h"

namespace {

using Line = std::vector<std::string>;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// The non-empty lines of text, split into tokens.
std::vector<Line> splitText(const char* text, std::size_t size, std::size_t keep) {
  std::vector<Line> lines;
  Line line;
  std::string token;
  bool inToken = false;
  for (std::size_t i = 0; i <= size; ++i) {
    const bool end = i == size;
    const char c = end ? '\n' : text[i];
    if (isBlank(c) || isLineEnd(c)) {
      if (inToken) line.push_back(token.substr(0, keep));
      token.clear();
      inToken = false;
      if (isLineEnd(c) && !line.empty()) lines.push_back(std::move(line));
      if (isLineEnd(c)) line.clear();
    } else {
      token += c;
      inToken = true;
    }
  }
  return lines;
}

// Writes the text into an anonymous memory file and rewinds it.
int memoryFile(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("line_reader_fuzz", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  writeAllOrAbort(fd, data, size);
  if (::lseek(fd, 0, SEEK_SET) != 0) std::abort();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Sizes from 1 (an empty token buffer) to 600, past the keyword limit.
  const int tokenSize = data[0] < 224 ? 1 + data[0] % 32 : 1 + (data[0] - 223) * 20;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const std::size_t textSize = size - 1;
  const std::vector<Line> expected = splitText(text, textSize, static_cast<std::size_t>(tokenSize - 1));

  const int fd = memoryFile(data + 1, textSize);
  knotter::LineReader reader(fd);
  std::vector<char> out(static_cast<std::size_t>(tokenSize));
  std::vector<Line> lines;
  // Every line ends with a terminator or the end of the file, so a file of
  // n bytes has at most n + 1 lines; more would be a reader that never ends.
  std::size_t linesRead = 0;
  while (!reader.atEof) {
    if (++linesRead > textSize + 2) std::abort();
    Line line;
    while (knotter::nextToken(reader, out.data(), tokenSize)) {
      // The token is at most size - 1 bytes and terminated; it may hold NULs
      // of the text, so its length comes from the expected one.
      const std::size_t at = lines.size();
      const std::size_t k = line.size();
      if (at >= expected.size() || k >= expected[at].size()) std::abort();
      const std::string& want = expected[at][k];
      if (std::memcmp(out.data(), want.data(), want.size()) != 0 || out[want.size()] != '\0') {
        std::abort();
      }
      line.push_back(want);
    }
    if (out[0] != '\0') std::abort();  // a false return leaves out empty
    knotter::skipLine(reader);
    if (!line.empty()) lines.push_back(std::move(line));
  }
  if (lines != expected) std::abort();
  ::close(fd);
  return 0;
}
