// Narrows and orders the area table by a list file, a single area name or the
// tosser's import log.
#pragma once

namespace knotter {

// Keeps only the areas named by Settings::listPath, sorted by tag. Does
// nothing when no list is given.
void selectAreas();

}  // namespace knotter
