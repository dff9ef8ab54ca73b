// Reads a text file as lines of blank-separated tokens through one 4096-byte
// buffer: the configuration file and the area list file are read with it.
// CR, LF and CR LF all end lines; there is no quoting.
#pragma once

#include <cstddef>
#include <cstring>

namespace knotter {

// Longest token the readers of keywords, flags and names take; longer ones
// are cut.
constexpr int maxTokenLength = 511;

struct LineReader {
  char buffer[4096];
  int fd = -1;                // owned by the caller
  char* cursor = buffer;      // next unread byte
  char* end = buffer;         // one past the last valid byte
  bool lineEnded = false;     // the current line's terminator is consumed
  bool atEof = false;         // a refill found no more data
  bool readFailed = false;    // a refill failed (an I/O error)
  bool lineUnfit = false;     // a token of the current line held a NUL byte

  explicit LineReader(int descriptor) : fd(descriptor) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
};

// Reads the next token of the current line into out (at most size-1
// characters, terminated; the rest of a longer token, of any length, is
// consumed). Returns false, with out empty, when the line has no further
// token. A token holding a NUL byte comes back as read and sets lineUnfit.
// REQUIRES: size >= 1.
bool nextToken(LineReader& reader, char* out, int size);

// nextToken for the readers of names and settings: false, with out empty,
// also when this token or one before it on the line held a NUL byte, which
// would cut a name short. The caller then skips the line and takes nothing
// of it.
bool nextFitToken(LineReader& reader, char* out, int size);

// The same for token buffers whose size is their array length.
template <std::size_t N>
bool nextToken(LineReader& reader, char (&out)[N]) {
  static_assert(N >= 1 && N <= 65536);
  return nextToken(reader, out, static_cast<int>(N));
}

template <std::size_t N>
bool nextFitToken(LineReader& reader, char (&out)[N]) {
  static_assert(N >= 1 && N <= 65536);
  return nextFitToken(reader, out, static_cast<int>(N));
}

// A token that names a file is read into a buffer one character longer than
// the token limit: a path that shows more than maxTokenLength characters has
// been cut, and is refused rather than used under a cut name.
constexpr int pathTokenBufferSize = maxTokenLength + 2;
inline bool pathTokenTooLong(const char* token) {
  return std::strlen(token) > static_cast<std::size_t>(maxTokenLength);
}

// Finishes the current line, so that the next nextToken starts on the next
// one (which starts fit).
void skipLine(LineReader& reader);

}  // namespace knotter
