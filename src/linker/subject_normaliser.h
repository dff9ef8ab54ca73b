// The normalised form of a subject, as subject linking compares it: reply
// prefixes removed, blanks folded, tabs and line breaks dropped, optionally
// Cyrillic look-alikes mapped to Latin letters, cut to N characters.
#pragma once

#include <cstdint>

namespace knotter {

// Bytes of a subject field: what every format gives the normaliser.
constexpr int subjectFieldSize = 72;

constexpr int subjectStates = 12;
extern std::uint8_t subjectScanTable[subjectStates][256];

// Fills subjectScanTable, with the look-alike entries when asked; once per run.
void buildSubjectScanTable(bool russianLookalikes);

// Normalises the 72 bytes of subj into out (not terminated, at most n bytes,
// 1 <= n <= 72) and returns the number of bytes written.
int normaliseSubject(const std::uint8_t* subj, int n, std::uint8_t* out);

}  // namespace knotter
