// Number parsing shared by the command lines of the tools.
#pragma once

#include <cstdint>

namespace knotter {

// Reads a number as the C library's atoi does (leading white space, a sign,
// digits up to the first other character; none gives 0), held in 32 bits:
// a value beyond them is cut to the nearest bound.
std::int32_t readSignedDecimal(const char* text);

}  // namespace knotter
