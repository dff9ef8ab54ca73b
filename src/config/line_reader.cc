#include "config/line_reader.h"

#include <cstring>
#include <initializer_list>

#include "base/file_io.h"

namespace knotter {
namespace {

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int c) { return c == '\r' || c == '\n'; }

// The next byte of the file. The end of the file (or a read error, which is
// noted for the callers that care) reads as a line feed, so every caller
// sees a last line end; a later request tries the file again, which matters
// for files that are still being written.
int nextChar(LineReader& reader) {
  if (reader.cursor == reader.end) {
    const ssize_t count = readSome(reader.fd, reader.buffer, sizeof reader.buffer);
    if (count <= 0) {
      if (count < 0) reader.readFailed = true;
      reader.atEof = true;
      return '\n';
    }
    reader.cursor = reader.buffer;
    reader.end = reader.buffer + count;
  }
  return static_cast<unsigned char>(*reader.cursor++);
}

// The first of the given bytes in [from, to), or to. Long tokens and lines
// are passed over a buffer at a time this way, not a call per byte, so that
// one of gigabytes costs little more than its reads.
char* findFirst(char* from, char* to, std::initializer_list<char> bytes) {
  char* end = to;
  for (const char byte : bytes) {
    void* at = std::memchr(from, byte, static_cast<std::size_t>(end - from));
    if (at != nullptr) end = static_cast<char*>(at);
  }
  return end;
}

// Consumes the rest of a token that no longer fits. Returns the character
// that ends it (a line feed at the end of the file) and notes a NUL byte in it.
int skipTokenRest(LineReader& reader, bool& holdsNul) {
  for (;;) {
    char* const stop = findFirst(reader.cursor, reader.end, {' ', '\t', '\r', '\n'});
    const auto length = static_cast<std::size_t>(stop - reader.cursor);
    holdsNul = holdsNul || std::memchr(reader.cursor, '\0', length) != nullptr;
    reader.cursor = stop;
    if (stop != reader.end) return static_cast<unsigned char>(*reader.cursor++);
    const int c = nextChar(reader);  // the next buffer, or the end of the file
    if (isBlank(c) || isLineEnd(c)) return c;
    holdsNul = holdsNul || c == '\0';
  }
}

}  // namespace

bool nextToken(LineReader& reader, char* out, int size) {
  out[0] = '\0';
  if (reader.lineEnded) return false;
  int c = nextChar(reader);
  while (isBlank(c)) c = nextChar(reader);
  if (isLineEnd(c)) {
    reader.lineEnded = true;
    return false;
  }
  // Characters beyond size-1 are consumed but dropped, so that the next
  // token starts after the whole of this one. Only what is kept is counted,
  // so no token is too long for the count.
  int kept = 0;
  bool holdsNul = false;
  for (; !isBlank(c) && !isLineEnd(c); c = nextChar(reader)) {
    holdsNul = holdsNul || c == '\0';
    if (kept == size - 1) {
      c = skipTokenRest(reader, holdsNul);
      break;
    }
    out[kept++] = static_cast<char>(c);
  }
  out[kept] = '\0';
  if (isLineEnd(c)) reader.lineEnded = true;
  if (holdsNul) reader.lineUnfit = true;
  return true;
}

bool nextFitToken(LineReader& reader, char* out, int size) {
  if (!reader.lineUnfit && nextToken(reader, out, size) && !reader.lineUnfit) return true;
  out[0] = '\0';
  return false;
}

void skipLine(LineReader& reader) {
  reader.lineUnfit = false;
  if (reader.lineEnded) {
    reader.lineEnded = false;
    return;
  }
  for (;;) {
    char* const stop = findFirst(reader.cursor, reader.end, {'\r', '\n'});
    if (stop != reader.end) {
      reader.cursor = stop + 1;
      return;
    }
    reader.cursor = reader.end;
    if (isLineEnd(nextChar(reader))) return;  // the next buffer, or the end of the file
  }
}

}  // namespace knotter
