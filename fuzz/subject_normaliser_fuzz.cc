// Feeds arbitrary 72-byte subjects to the subject normaliser, with and
// without the Cyrillic look-alikes and with every length N from 1 to 72.
// The first input byte chooses the options, the next 72 (zero-padded) are
// the subject. Checks: the result fits in N, it never ends with a blank,
// holds two blanks in a row or keeps a tab or a line break, and it begins
// with a blank only after a leading tab or line break (see below); a shorter
// N gives a cut of the longest form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "linker/subject_normaliser.h"

namespace {

constexpr std::size_t subjectSize = 72;

bool lookalikesBuilt = false;
bool tableBuilt = false;

void useTable(bool lookalikes) {
  if (tableBuilt && lookalikesBuilt == lookalikes) return;
  knotter::buildSubjectScanTable(lookalikes);
  lookalikesBuilt = lookalikes;
  tableBuilt = true;
}

bool hasLineBreakOrTab(const std::uint8_t* subj) {
  for (std::size_t i = 0; i < subjectSize && subj[i] != 0; ++i) {
    if (subj[i] == '\t' || subj[i] == '\r' || subj[i] == '\n') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool lookalikes = (data[0] & 1) != 0;
  const int n = 1 + (data[0] >> 1) % static_cast<int>(subjectSize);
  useTable(lookalikes);

  // Exactly 72 bytes of their own, so that reading beyond the field is caught.
  auto* subj = static_cast<std::uint8_t*>(std::malloc(subjectSize));
  std::memset(subj, 0, subjectSize);
  std::memcpy(subj, data + 1, size - 1 < subjectSize ? size - 1 : subjectSize);
  // The output gets exactly N bytes, so that writing beyond N is caught.
  auto* out = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(n)));

  const int length = knotter::normaliseSubject(subj, n, out);
  if (length < 0 || length > n) std::abort();
  if (length > 0 && out[length - 1] == ' ') std::abort();
  // A tab or line break at the start moves the scan into the text without
  // writing anything, so a blank after it is kept in front of the next
  // character: only then may the result begin with a blank.
  if (length > 0 && out[0] == ' ' && !hasLineBreakOrTab(subj)) std::abort();
  for (int i = 0; i < length; ++i) {
    if (out[i] == '\t' || out[i] == '\r' || out[i] == '\n') std::abort();
    if (i > 0 && out[i] == ' ' && out[i - 1] == ' ') std::abort();
  }
  // The same subject normalised again gives the same text: nothing is kept
  // from one call to the next.
  auto* again = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(n)));
  if (knotter::normaliseSubject(subj, n, again) != length) std::abort();
  if (length > 0 && std::memcmp(out, again, static_cast<std::size_t>(length)) != 0) std::abort();

  // A shorter N only cuts the longest form, dropping a blank left at the
  // cut: the N-th character is never a blank.
  std::uint8_t full[subjectSize];
  const int fullLength = knotter::normaliseSubject(subj, static_cast<int>(subjectSize), full);
  int cut = fullLength < n ? fullLength : n;
  if (cut > 0 && full[cut - 1] == ' ') --cut;
  if (cut != length || (length > 0 && std::memcmp(out, full, static_cast<std::size_t>(length)) != 0)) {
    std::abort();
  }

  std::free(again);
  std::free(out);
  std::free(subj);
  return 0;
}
