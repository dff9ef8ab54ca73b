// Command-line pieces that knotter and knotter-dump share, so that both read
// a subject length and an option's value the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace knotter {

constexpr std::int32_t minSubjectLength = 1;
constexpr std::int32_t defaultSubjectLength = 15;
constexpr std::int32_t maxSubjectLength = 72;

// The arguments still to be read, left to right.
struct ArgCursor {
  int argc;
  char** argv;
  int next;  // index of the next unread argument
};

// The value of an option: the rest of its own argument, or else the next
// argument whatever it looks like (used up), or else none.
std::optional<std::string> takeValue(const char* rest, ArgCursor& args);

// A subject length below the minimum becomes the default; one above the
// width of the subject field is cut to it.
std::int32_t clampSubjectLength(std::int32_t length);

}  // namespace knotter
