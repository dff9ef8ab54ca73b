#include "linker/subject_normaliser.h"

namespace knotter {

std::uint8_t subjectScanTable[subjectStates][256];

void buildSubjectScanTable(bool) {}
int normaliseSubject(const std::uint8_t*, int, std::uint8_t*) { return 0; }

}  // namespace knotter
