#include "linker/subject_normaliser.h"

#include <cstring>
#include <span>

namespace knotter {

std::uint8_t subjectScanTable[subjectStates][256];

namespace {

// Rows of the table, by what has been seen.
constexpr std::uint8_t rowStart = 0;
constexpr std::uint8_t rowH = 1;
constexpr std::uint8_t rowHa = 2;
constexpr std::uint8_t rowR = 3;
constexpr std::uint8_t rowRe = 4;
constexpr std::uint8_t rowReCaret = 5;
constexpr std::uint8_t rowCaretDigits = 6;
constexpr std::uint8_t rowReBracket = 7;
constexpr std::uint8_t rowBracketDigits = 8;
constexpr std::uint8_t rowBracketClosed = 9;
constexpr std::uint8_t rowText = 10;
constexpr std::uint8_t rowTextBlank = 11;

// Codes of the cells; 1 to 9 take a byte into a reply prefix and name the
// row to go on in, 14 to 21 write a Latin look-alike.
constexpr std::uint8_t codePrefixDone = 0;
constexpr std::uint8_t codeCopy = 10;
constexpr std::uint8_t codeBlank = 11;
constexpr std::uint8_t codeWriteBlank = 12;
constexpr std::uint8_t codeDropBreak = 13;
constexpr std::uint8_t codeFirstLatin = 14;
constexpr std::uint8_t codeLastLatin = 21;
constexpr std::uint8_t codeNoPrefix = 22;
constexpr std::uint8_t codeStop = 23;

constexpr char latinLookalikes[] = "aeHopcyx";  // written by codes 14 to 21
static_assert(sizeof latinLookalikes - 1 == codeLastLatin - codeFirstLatin + 1);

struct Cell {
  std::uint8_t row;
  std::uint8_t byte;
  std::uint8_t code;
};

constexpr std::uint8_t rowDefaults[subjectStates] = {
    codeCopy,     codeNoPrefix, codeNoPrefix, codeNoPrefix, codeNoPrefix, codeNoPrefix,
    codeNoPrefix, codeNoPrefix, codeNoPrefix, codeNoPrefix, codeCopy,     codeWriteBlank};

constexpr Cell plainCells[] = {
    {rowStart, ' ', codePrefixDone},
    {rowStart, 'R', rowR},
    {rowStart, 'r', rowR},
    {rowHa, ':', codePrefixDone},
    {rowR, 'E', rowRe},
    {rowR, 'e', rowRe},
    {rowRe, ':', codePrefixDone},
    {rowRe, '^', rowReCaret},
    {rowRe, '[', rowReBracket},
    {rowCaretDigits, ':', codePrefixDone},
    {rowBracketDigits, ']', rowBracketClosed},
    {rowBracketClosed, ':', codePrefixDone},
};

// Digits continue the counted prefixes Re^2: and Re[3]:.
constexpr Cell digitRows[] = {
    {rowReCaret, 0, rowCaretDigits},
    {rowCaretDigits, 0, rowCaretDigits},
    {rowReBracket, 0, rowBracketDigits},
    {rowBracketDigits, 0, rowBracketDigits},
};

// In the rows where text may stand, these end or bend the text.
constexpr std::uint8_t textRows[] = {rowStart, rowText, rowTextBlank};

// The code that writes the Latin letter `letter`.
constexpr std::uint8_t latin(char letter) {
  std::uint8_t code = codeFirstLatin;
  while (latinLookalikes[code - codeFirstLatin] != letter) ++code;
  return code;
}

// Cyrillic letters of code page 866 that look like Latin ones, and the
// prefix Ha: (H and a in either alphabet) that they make possible.
// clang-format off
constexpr Cell lookalikeCells[] = {
    {rowStart, 0xA0, latin('a')}, {rowStart, 0xA5, latin('e')}, {rowStart, 0xAE, latin('o')},
    {rowStart, 0xE0, latin('p')}, {rowStart, 0xE1, latin('c')}, {rowStart, 0xE3, latin('y')},
    {rowStart, 0xE5, latin('x')}, {rowStart, 0x8D, rowH},       {rowStart, 'H', rowH},
    {rowText, 0xA0, latin('a')},  {rowText, 0xA5, latin('e')},  {rowText, 0xAE, latin('o')},
    {rowText, 0xE0, latin('p')},  {rowText, 0xE1, latin('c')},  {rowText, 0xE3, latin('y')},
    {rowText, 0xE5, latin('x')},  {rowText, 0x8D, latin('H')},
    {rowH, 0xA0, rowHa},          {rowH, 'a', rowHa},
    {rowR, 0xA5, rowRe},
};
// clang-format on

void setCells(std::span<const Cell> cells) {
  for (const Cell& cell : cells) subjectScanTable[cell.row][cell.byte] = cell.code;
}

}  // namespace

void buildSubjectScanTable(bool russianLookalikes) {
  for (int row = 0; row < subjectStates; ++row) {
    std::memset(subjectScanTable[row], rowDefaults[row], sizeof subjectScanTable[row]);
  }
  for (const std::uint8_t row : textRows) {
    for (const std::uint8_t dropped : {'\t', '\n', '\r'}) {
      subjectScanTable[row][dropped] = codeDropBreak;
    }
    subjectScanTable[row][0] = codeStop;
  }
  constexpr std::uint8_t blank = ' ';
  subjectScanTable[rowText][blank] = codeBlank;
  subjectScanTable[rowTextBlank][blank] = codeBlank;
  setCells(plainCells);
  for (const Cell& cell : digitRows) {
    for (int digit = '0'; digit <= '9'; ++digit) subjectScanTable[cell.row][digit] = cell.code;
  }
  if (russianLookalikes) setCells(lookalikeCells);
}

int normaliseSubject(const std::uint8_t* subj, int n, std::uint8_t* out) {
  int state = rowStart;
  int in = 0;
  int written = 0;
  int tentative = 0;  // bytes taken into a reply prefix not yet complete
  while (in < subjectFieldSize) {
    const std::uint8_t c = subj[in];
    const std::uint8_t code = subjectScanTable[state][c];
    if (code == codeCopy) {
      // Runs of plain text make up most of a subject: copy them in one go.
      const std::uint8_t* text = subjectScanTable[rowText];
      std::uint8_t b = c;
      do {
        out[written++] = b;
        if (written == n || ++in == subjectFieldSize) return written;
        b = subj[in];
      } while (text[b] == codeCopy);
      state = rowText;
    } else if (code == codeBlank) {
      state = rowTextBlank;
      ++in;
    } else if (code == codeWriteBlank) {
      // The blank is only written in front of the byte that follows it, so
      // the result never ends with one.
      if (written + 1 == n) break;
      out[written++] = ' ';
      state = rowText;
    } else if (code == codePrefixDone) {
      tentative = 0;
      state = rowStart;
      ++in;
    } else if (code < codeCopy) {
      ++tentative;
      state = code;
      ++in;
    } else if (code == codeDropBreak) {
      tentative = 0;
      state = rowText;
      ++in;
    } else if (code <= codeLastLatin) {
      out[written++] = static_cast<std::uint8_t>(latinLookalikes[code - codeFirstLatin]);
      state = rowText;
      ++in;
      if (written == n) break;
    } else if (code == codeNoPrefix) {
      // Not a prefix after all: its bytes are text.
      in -= tentative;
      tentative = 0;
      state = rowText;
    } else {
      break;  // the terminating zero byte
    }
  }
  return written;
}

}  // namespace knotter
