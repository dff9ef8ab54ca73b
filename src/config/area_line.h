// The area lines of the configuration: "EchoArea" and "LocalArea", and in HPT
// mode "NetmailArea", "NetArea" and their defaults line "EchoAreaDefaults".
// They decide which areas are bases to be linked, in which format, and how.
#pragma once

#include "config/line_reader.h"

namespace knotter {

// Reads the rest of an area line (its keyword already read) and appends the
// area to areaTable when it is a base to be linked: Squish, or in HPT mode
// under -jam also JAM. Reports "! %s is not a Squish message base" when the
// -a area is neither.
void readAreaLine(LineReader& reader, const char* keyword);

// Reads an "EchoAreaDefaults" line into Settings::hptDefaultFormat and
// Settings::linkByDefault, which hold for the echo and local areas after it.
void readEchoAreaDefaults(LineReader& reader);

}  // namespace knotter
