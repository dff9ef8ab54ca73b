// The token reader under the configuration and the list file: which tokens
// each line yields for LF, CR and CR LF files, cut tokens, blanks, a last line
// without a terminator, NUL bytes, and reading on after the end of a growing
// file.
#include "config/line_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "support/temp_dir.h"

namespace knotter {
namespace {

using namespace std::string_literals;

using Lines = std::vector<std::vector<std::string>>;

// Owns a descriptor opened on a test file.
struct OpenFile {
  int fd;
  explicit OpenFile(const std::filesystem::path& path) : fd(::open(path.c_str(), O_RDONLY)) {}
  ~OpenFile() { ::close(fd); }
};

using TokenReader = bool (*)(LineReader&, char*, int);

// Reads the whole file the way every caller does: tokens until the first
// false, then skipLine, while the end has not been seen.
Lines readAll(LineReader& reader, int tokenSize, TokenReader next) {
  Lines lines;
  std::vector<char> token(static_cast<std::size_t>(tokenSize));
  while (!reader.atEof) {
    std::vector<std::string> tokens;
    while (next(reader, token.data(), tokenSize)) tokens.emplace_back(token.data());
    lines.push_back(tokens);
    skipLine(reader);
  }
  return lines;
}

Lines readBytes(const std::string& bytes, int tokenSize = 512, TokenReader next = nextToken) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("f"), bytes);
  OpenFile file(dir.file("f"));
  LineReader reader(file.fd);
  return readAll(reader, tokenSize, next);
}

struct TokenCase {
  const char* name;
  std::string bytes;
  int tokenSize;
  Lines expected;
};

TEST(LineReader, SplitsLinesIntoTokens) {
  const std::string longToken(150, 'x');
  const std::string acrossRefill = std::string(4090, ' ') + "abcdefghij klm\n";
  const TokenCase cases[] = {
      {"empty file", "", 512, {{}}},
      {"LF lines, then the empty end", "a b\nc\n", 512, {{"a", "b"}, {"c"}, {}}},
      {"CR LF: every line followed by an empty one", "a b\r\nc\r\n", 512,
       {{"a", "b"}, {}, {"c"}, {}, {}}},
      {"CR alone ends lines", "a b\rc\r", 512, {{"a", "b"}, {"c"}, {}}},
      {"last line without terminator", "a\nb c", 512, {{"a"}, {"b", "c"}}},
      {"blank-only and empty lines", " \t \n\nx\n", 512, {{}, {}, {"x"}, {}}},
      {"tabs and runs of blanks", "\tkey \t value  \n", 512, {{"key", "value"}, {}}},
      {"control bytes belong to tokens", "a\x01" "b\x7f c\n", 512, {{"a\x01" "b\x7f", "c"}, {}}},
      {"no quoting", "\"a b\" ;c\n", 512, {{"\"a", "b\"", ";c"}, {}}},
      {"token of size-1 kept whole", "abc def\n", 4, {{"abc", "def"}, {}}},
      {"longer token cut, rest consumed", "abcdefg hi\n", 4, {{"abc", "hi"}, {}}},
      {"cut token ending the line", "abcdefg\nhi", 4, {{"abc"}, {"hi"}}},
      {"150 characters at size 100", longToken + " y", 100, {{std::string(99, 'x'), "y"}}},
      {"token across a buffer refill", acrossRefill, 512, {{"abcdefghij", "klm"}, {}}},
      {"cut token over three buffers", std::string(10000, 'x') + "\ty\rz", 4,
       {{"xxx", "y"}, {"z"}}},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(readBytes(c.bytes, c.tokenSize), c.expected);
  }
}

// A NUL byte would cut a name short: the readers of names and settings get
// nothing of a line from such a token on, and the next line as usual.
TEST(LineReader, FitTokensEndAtATokenWithANulByte) {
  const TokenCase cases[] = {
      {"NUL in a token", "a b\0c d\ne\n"s, 512, {{"a"}, {"e"}, {}}},
      {"NUL in the cut tail of a token", "abcdefg\0 h\ni\n"s, 4, {{}, {"i"}, {}}},
      {"NUL alone", "\0\nx"s, 512, {{}, {"x"}}},
      {"no NUL: as nextToken", "a bcdef\n"s, 4, {{"a", "bcd"}, {}}},
      {"NUL in a cut token, buffers later", std::string(5000, 'x') + "\0\nb"s, 4, {{}, {"b"}}},
      {"rest of a long line skipped", "a\0 "s + std::string(10000, 'x') + "\nb\n", 512,
       {{}, {"b"}, {}}},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(readBytes(c.bytes, c.tokenSize, nextFitToken), c.expected);
  }
}

TEST(LineReader, CrLfFileGivesTheTokensOfTheLfFile) {
  const std::string lf = "EchoArea FIDO /m/fido -$\n; note\n\nLogLevel 9\n";
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Lines nonEmpty;
  for (const auto& line : readBytes(crlf)) {
    if (!line.empty()) nonEmpty.push_back(line);
  }
  EXPECT_EQ(nonEmpty, (Lines{{"EchoArea", "FIDO", "/m/fido", "-$"}, {";", "note"}, {"LogLevel", "9"}}));
}

TEST(LineReader, FlagsAfterTheLastTokenAndSkipLine) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("f"), "a b c\nnext\nlast");
  OpenFile file(dir.file("f"));
  LineReader reader(file.fd);
  char token[16];

  // skipLine in the middle of a line drops the rest of it.
  ASSERT_TRUE(nextToken(reader, token));
  EXPECT_STREQ(token, "a");
  skipLine(reader);

  // A token that ends its line sets lineEnded; skipLine then consumes
  // nothing of the next line.
  ASSERT_TRUE(nextToken(reader, token));
  EXPECT_STREQ(token, "next");
  EXPECT_TRUE(reader.lineEnded);
  EXPECT_FALSE(nextToken(reader, token));
  EXPECT_STREQ(token, "");
  skipLine(reader);
  EXPECT_FALSE(reader.lineEnded);

  // The last line without terminator: its token comes back with both the
  // line's end and the file's end seen.
  ASSERT_TRUE(nextToken(reader, token));
  EXPECT_STREQ(token, "last");
  EXPECT_TRUE(reader.lineEnded);
  EXPECT_TRUE(reader.atEof);
}

TEST(LineReader, TokenWithNulMakesTheLineUnfit) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("f"), "a b\0c d\nnext\n"s);
  OpenFile file(dir.file("f"));
  LineReader reader(file.fd);
  char token[16];
  ASSERT_TRUE(nextFitToken(reader, token));
  EXPECT_FALSE(reader.lineUnfit);
  // nextToken hands the token back as read, NUL and all.
  ASSERT_TRUE(nextToken(reader, token));
  EXPECT_EQ(std::string(token, 3), "b\0c"s);
  EXPECT_TRUE(reader.lineUnfit);
  // Nothing more of the line is fit, though "d" follows.
  EXPECT_FALSE(nextFitToken(reader, token));
  EXPECT_STREQ(token, "");
  skipLine(reader);
  EXPECT_FALSE(reader.lineUnfit);
  ASSERT_TRUE(nextFitToken(reader, token));
  EXPECT_STREQ(token, "next");
}

TEST(LineReader, ReadsOnAfterTheEndWhenTheFileGrows) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("f"), "a\n");
  OpenFile file(dir.file("f"));
  LineReader reader(file.fd);
  char token[16];
  ASSERT_TRUE(nextToken(reader, token));
  skipLine(reader);
  EXPECT_FALSE(nextToken(reader, token));
  EXPECT_TRUE(reader.atEof);
  skipLine(reader);

  ktest::writeFile(dir.file("f"), "a\nb\n");
  ASSERT_TRUE(nextToken(reader, token));
  EXPECT_STREQ(token, "b");
}

}  // namespace
}  // namespace knotter
