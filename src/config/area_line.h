// The area lines of the configuration: "EchoArea" and "LocalArea", and in HPT
// mode "NetmailArea", "NetArea" and their defaults line "EchoAreaDefaults".
// They decide which areas are bases to be linked, in which format, and how.
#pragma once

#include "config/line_reader.h"

namespace knotter {

// Told the tag of the -a area when its line declares no base to be linked.
// The configuration reports through it rather than writing the log itself,
// so that the log, which reads the settings, stays above the configuration.
using OnlyAreaRefusal = void (*)(const char* tag);

// Reads the rest of an area line (its keyword already read) and appends the
// area to areaTable when it is a base to be linked: Squish, JAM under -jam
// (in HPT mode), *.MSG under -msg. Calls refuse, when given, when the -a area
// is none of these.
// A line that does not fit (a token held a NUL byte) adds and reports nothing.
void readAreaLine(LineReader& reader, const char* keyword, OnlyAreaRefusal refuse);

// Reads an "EchoAreaDefaults" line into Settings::hptEchoDefault (the type
// of the echo areas after it without their own -b) and Settings::linkByDefault.
// A line that does not fit changes neither.
void readEchoAreaDefaults(LineReader& reader);

}  // namespace knotter
