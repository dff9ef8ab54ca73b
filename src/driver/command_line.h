// The option grammar: reads the arguments into Settings and the run-level
// values, and prints the usage text (ending the process) for a bad command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace knotter {

struct RunOptions {
  std::optional<std::string> configPath;   // positional argument or -c
  std::optional<std::string> basePathArg;  // -#
  std::optional<std::string> areaCommand;  // -! / -!+
  bool linkAfterCommand = true;            // false for plain -!
  std::int32_t subjectLengthArg = 0;       // -s; 0 when not given
  std::optional<std::string> onlyArea;     // storage behind Settings::onlyArea
  std::optional<std::string> listPath;     // storage behind Settings::listPath
};

// Writes the banner line and an empty line to the console.
void printBanner();

// Writes the banner and the usage text, whatever -q says, and exits with 0.
[[noreturn]] void printUsage();

// Parses argv[1..argc-1]. -@ flags files are read on the spot. Decides the
// kind of run: single-base when -# is given, else configuration mode (a
// missing configuration path prints the usage text).
void parseCommandLine(int argc, char** argv, RunOptions& options);

}  // namespace knotter
