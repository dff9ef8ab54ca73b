#include "linker/subject_normaliser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct NormaliseCase {
  const char* name;
  std::string subject;  // padded with NULs to the 72 bytes of the field
  std::string expected;
  int n = 15;
  bool lookalikes = false;
};

std::string normalise(const std::string& subject, int n) {
  std::uint8_t field[72] = {};
  std::memcpy(field, subject.data(), std::min<std::size_t>(subject.size(), sizeof field));
  std::uint8_t out[72 + 8];
  std::memset(out, 0xEE, sizeof out);
  const int length = knotter::normaliseSubject(field, n, out);
  EXPECT_GE(length, 0);
  EXPECT_LE(length, n);
  EXPECT_EQ(out[n], 0xEE) << "wrote past n";
  return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length));
}

const std::string seventyTwoA(72, 'a');

const NormaliseCase cases[] = {
    {"Re:", "Re: Hello", "Hello"},
    {"RE:", "RE: Hello", "Hello"},
    {"re: glued", "re:Hello", "Hello"},
    {"mixed case", "rE: Hello", "Hello"},
    {"Re^2:", "Re^2: Hello", "Hello"},
    {"Re[12]: Re:", "Re[12]: Re: Hello", "Hello"},
    {"chain of prefixes", "  Re: Re:Re^3:   Hello", "Hello"},
    {"leading blanks", "    Hello", "Hello"},
    {"plain", "Hello", "Hello"},
    {"blank before colon", "Re :Hello", "Re :Hello"},
    {"caret without digits", "Re^:Hello", "Re^:Hello"},
    {"brackets without digits", "Re[]: Hello", "Re[]: Hello"},
    {"Rex", "Rex", "Rex"},
    {"prefix inside the text", "Hi Re: x", "Hi Re: x"},
    {"blanks folded and trimmed", "two  words  ", "two words"},
    {"tab joins", "two\twords", "twowords"},
    {"tab after a blank cancels it", "two \t words", "two words"},
    {"line end cancels a blank", "a \r\nb", "ab"},
    {"tab ends prefix removal", "\tRe: Hello", "Re: Hello"},
    {"line end after a prefix", "Re:\rRe: x", "Re: x"},
    {"only Re:", "Re:", ""},
    {"empty", "", ""},
    {"bytes after the NUL are ignored", std::string("ab\0cd", 5), "ab"},
    {"cut at 15", "abcdefghijklmnopq", "abcdefghijklmno"},
    {"blank as 15th character dropped", "abcdefghijklmn opq", "abcdefghijklmn"},
    {"blank as 16th character", "abcdefghijklmno pq", "abcdefghijklmno"},
    {"n = 1", "Re: Hello", "H", 1},
    {"n = 1, leading blanks", "   x y", "x", 1},
    {"n = 3 with blank", "ab cd", "ab", 3},
    {"n = 72 keeps all", "Re: " + std::string(50, 'x') + " end of it",
     std::string(50, 'x') + " end of it", 72},
    {"72 bytes without NUL", seventyTwoA, seventyTwoA, 72},
    {"unfinished prefix at the end of the field", std::string(70, ' ') + "Re", "", 72},
    {"unfinished prefix before the NUL", "Re", "Re"},
    {"no look-alikes without -p", "\xA0\xA5\xAE\xE0\xE1\xE3\xE5\x8D",
     "\xA0\xA5\xAE\xE0\xE1\xE3\xE5\x8D"},
    {"Ha: is text without -p", "Ha: x", "Ha: x"},
    {"look-alikes mapped", "\xA0\xA5\xAE\xE0\xE1\xE3\xE5\x8D", "aeopcyxH", 15, true},
    {"look-alikes at the start", "\xE1\xAE", "co", 15, true},
    {"look-alike after a blank", "x \xA0", "x a", 15, true},
    {"other Cyrillic letters kept", "\x80\x8E\xA1", "\x80\x8E\xA1", 15, true},
    {"Latin Ha:", "Ha: Hello", "Hello", 15, true},
    {"Cyrillic Ha:", "\x8D\xA0: Hello", "Hello", 15, true},
    {"mixed Ha:",
     "H\xA0:\x8D"
     "a: Hello",
     "Hello", 15, true},
    {"Re with Cyrillic ie", "R\xA5: Hello", "Hello", 15, true},
    {"H that is no prefix", "Hb", "Hb", 15, true},
    {"Cyrillic H that is no prefix",
     "\x8D"
     "b",
     "Hb", 15, true},
    {"lone H", "H", "H", 15, true},
    {"look-alikes and prefixes still fold", " Re:  Ha:  \xE0\xA0  x", "pa x", 15, true},
};

TEST(SubjectNormaliser, NormalisesTableOfSubjects) {
  for (const NormaliseCase& c : cases) {
    SCOPED_TRACE(c.name);
    knotter::buildSubjectScanTable(c.lookalikes);
    EXPECT_EQ(normalise(c.subject, c.n), c.expected);
  }
}

// Subjects equal in their first N normalised characters compare equal.
TEST(SubjectNormaliser, DefaultLengthMakesLongSubjectsEqual) {
  knotter::buildSubjectScanTable(false);
  EXPECT_EQ(normalise("Re: abcdefghijklmnoXYZ", 15), normalise("abcdefghijklmnoABC", 15));
  EXPECT_EQ(normalise("abcdefghijklmn and more", 15), normalise("abcdefghijklmn", 15));
  EXPECT_NE(normalise("abcdefghijklmnoX", 16), normalise("abcdefghijklmnoY", 16));
}

}  // namespace
