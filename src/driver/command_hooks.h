// External commands: the per-area command of -! / -!+, and the commands of the
// flags file (-@) that run after an area is linked when their flag exists.
#pragma once

#include <string>
#include <vector>

namespace knotter {

struct FlagEntry {
  std::string flagPath;  // the path, or for a wildcard its directory part
  std::string command;
  std::string pattern;   // wildcard name part; empty when not a wildcard
  bool wildcard = false;
};

using FlagList = std::vector<FlagEntry>;

extern FlagList flagList;

// Runs commandLine through the shell; reports "! Failed command: %s" when the
// shell cannot start, the command is killed or exits with 127 or more.
bool runCommand(const char* commandLine);

// The template with %a replaced by the tag and %p by the data file path.
std::string expandAreaCommand(const char* commandTemplate, const char* areaTag,
                              const char* dataFilePath);

// Appends the entries of a flags file to flagList; reports a file that
// cannot be opened.
void readFlagsFile(const char* path);

bool flagExists(const FlagEntry& entry);

// Runs the command of every entry whose flag exists, in file order.
void runFlagCommands();

}  // namespace knotter
