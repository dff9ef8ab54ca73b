// The command line of knotter-dump, the read-only inspector of a Squish base:
// which base, how subjects are normalised, and what to print.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "config/link_type.h"
#include "config/settings.h"

namespace knotter::dump {

constexpr int exitClean = 0;    // inspected or planned, and the linker would accept the base
constexpr int exitDamaged = 1;  // a "! " line was printed: damaged or unreadable
constexpr int exitUsage = 2;    // bad command line

enum class DumpMode { listing, threads, check, plan };

struct DumpOptions {
  DumpMode mode = DumpMode::listing;
  std::string basePath;            // without ".sqd" or ".jhr"
  BaseFormat format = BaseFormat::squish;  // as the path names it
  std::string areaTag;             // -a, else the base name
  std::int32_t subjectLength = 15; // -s, clamped to 1..72 as the linker does
  bool russianLookalikes = false;  // -p
  LinkType linkType = LinkType::reply;  // -t, for --plan only
  bool linkTypeGiven = false;          // -t was given: a usage error without --plan
};

enum class ParseResult { run, help, usageError };

// Reads the arguments after the program name into options. usageError when
// an option is unknown, modes are mixed, -t is given without --plan, or
// there is not exactly one base.
ParseResult parseDumpOptions(int argc, char** argv, DumpOptions& options);

// Prints the usage text to out.
void printDumpUsage(std::FILE* out);

}  // namespace knotter::dump
