#include "driver/area_selection.h"

namespace knotter {

void selectAreas() {}

}  // namespace knotter
