// External commands: the per-area command of -! / -!+, and the commands of the
// flags file (-@) that run after an area is linked when their flag exists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace knotter {

// One line of the flags file: run command after an area when the flag exists.
struct FlagEntry {
  std::string flagPath;  // the path, or for a wildcard its directory part
                         // (empty = the current directory)
  std::string command;   // run as written, without substitutions
  std::string pattern;   // wildcard name part; empty when not a wildcard
  bool wildcard = false; // the name part holds '*' or '?'
};

using FlagList = std::vector<FlagEntry>;

extern FlagList flagList;

// Runs commandLine through the shell; reports "! Failed command: %s" when the
// shell cannot start, the command is killed or exits with 127 or more.
bool runCommand(const char* commandLine);

// True when text holds none of ; & | $ ( ) < > ' " ` * ? [ ] ~ # { } and no
// byte below 0x20, so that pasted into a command line it cannot be read by
// the shell as syntax, glob or comment.
bool safeInCommand(std::string_view text);

// The template with %a replaced by the tag and %p by the data file path; '%'
// before any other character stays as it is, a lone '%' at the end is dropped.
// *shellSafe (when given) tells whether every value put in is safeInCommand.
std::string expandAreaCommand(const char* commandTemplate, const char* areaTag,
                              const char* dataFilePath, bool* shellSafe = nullptr);

// The -! / -!+ command of one area: expanded and run, or, when the tag or
// path put into it is not safeInCommand, reported with "! Failed command: %s"
// and not run.
void runAreaCommand(const char* commandTemplate, const char* areaTag, const char* dataFilePath);

// Appends the entries of a flags file ("<flag path> <command>" lines) to
// flagList, skipping lines that hold a NUL byte; reports "! Cannot open file
// %s (%u)" when it cannot be opened (a device, socket or directory: ENXIO).
void readFlagsFile(const char* path);

// A plain flag exists when the path has a status; a wildcard flag when an
// entry of its directory matches the pattern (an unreadable directory: no).
bool flagExists(const FlagEntry& entry);

// Runs the command of every entry whose flag exists, in file order.
void runFlagCommands();

}  // namespace knotter
