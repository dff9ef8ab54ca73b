// Runs the built knotter binary as a child process and captures what it
// prints, plus helpers for comparing time-stamped log lines.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ktest {

// What every run that is not quiet prints first.
inline const std::string banner = "Squish Message Base Knotwork v2.4\n\n";

struct RunResult {
  int exitCode = -1;  // exit status, or 128 + signal number when killed
  std::string out{};  // everything written to standard output
  std::string err{};  // everything written to standard error
};

// Runs KNOTTER_BINARY with `args` (not including the program name) in
// `workDir`, stdin from /dev/null. Kills the child after 60 seconds.
RunResult runKnotter(const std::vector<std::string>& args,
                     const std::filesystem::path& workDir);

// True when `line` begins with a log time stamp "DD Mon YY  HH:MM:SS ",
// optionally followed by a level field "[ L] ".
bool hasStamp(const std::string& line);

// `line` without its time stamp (and level field); returned unchanged when it
// has none, so that a comparison with the expected text fails visibly.
std::string stripStamp(const std::string& line);

// Splits `text` at "\n"; a final line end does not give an extra empty line.
std::vector<std::string> splitLines(const std::string& text);

// The lines of the log file at `path`, stamps stripped; empty when the file
// does not exist.
std::vector<std::string> readLogLines(const std::filesystem::path& path);

}  // namespace ktest
