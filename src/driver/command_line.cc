#include "driver/command_line.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/numbers.h"
#include "config/arguments.h"
#include "config/path_resolver.h"
#include "config/settings.h"
#include "config/text.h"
#include "driver/command_hooks.h"
#include "driver/early_exit.h"
#include "log/log.h"

namespace knotter {
namespace {

constexpr const char* bannerText = "Squish Message Base Knotwork v2.4\n\n";

constexpr const char* usageText =
    "Links messages by Subjects or by MSGID/REPLY kludges\n"
    "\n"
    "Usage: KNOTTER <config>|-#<path> [-hpt] [-a<area>] [-f|k<list>] [-l<log path>]\n"
    "                                 [-p] [-q] [-s<num>] [-t<type>] [-$]\n"
    "                                 [-![+] <command>] [-@<flags>]\n"
    "\n"
    "   <config>       Squish-style configuration file\n"
    "   -#<path>       Process message base specified by <path>, don't read config\n"
    "   -hpt           Turn on support for HPT's configuration keywords\n"
    "   -jam           Link HPT's JAM areas (-b jam) as well\n"
    "   -msg           Link *.MSG areas (HPT -b msg, Squish -f) as well\n"
    "   -a<area>       Process this area only\n"
    "   -f             Process only areas from the list file or specified area\n"
    "   -k             The same as -f, but delete list file at exit\n"
    "   <list>         Area list file or individual area name\n"
    "   -l<log path>   Use alternative log file specified by <log path>\n"
    "   -p             Treat Russian letters like 'p','y' as similar Latin ones\n"
    "   -q             Be quiet\n"
    "   -s<num>        Compare first <num> symbols of subjects (without Re:)\n"
    "   -t<type>       Linking type, where <type> is a single character:\n"
    "                  f - Flat : link original and its replies in linear chain\n"
    "                  r - Reply: 'f' + link replies without original (default)\n"
    "                  s - Subj : link messages with identical subjects\n"
    "                  t - TimEd: link many replies to one original message\n"
    "   -$             Link only echo areas with -$ flag\n"
    "   -! <command>   Instead of linking, just run <command> for each listed area\n"
    "   -!+ <command>  The same as -!, but link area after running <command>\n"
    "                  The following parameters can be used in <command>:\n"
    "                  %a  Area tag\n"
    "                  %p  Area path\n"
    "   -@<flags>      After linking an area, check each flag from <flags> file and\n"
    "                  if it exists, run the associated command. <flags> is a text\n"
    "                  file with lines in the following format:\n"
    "                  <flag path> <command>\n"
    "                  Wildcards are allowed in <flag path>.\n";

std::int32_t linkTypeFromLetter(char letter) {
  switch (asciiLower(static_cast<unsigned char>(letter))) {
    case 'f': return linkFlat;
    case 'r': return linkReply;
    case 's': return linkSubj;
    case 't': return linkTimEd;
    default: return 0;
  }
}

void takeListOption(const char* rest, ArgCursor& args, RunOptions& options) {
  settings.listMode = true;
  // In HPT mode a bare -f leaves the list to the configuration's ImportLog.
  if (*rest != '\0' || !settings.hptMode) {
    options.listPath = takeValue(rest, args);
  } else {
    options.listPath.reset();
  }
  settings.listPath = options.listPath ? options.listPath->c_str() : nullptr;
}

// -! and -!+ take the rest of their argument and every argument after it.
void takeAreaCommand(const char* option, ArgCursor& args, RunOptions& options) {
  const bool plus = option[2] == '+';
  options.linkAfterCommand = plus;
  std::string command = option + (plus ? 3 : 2);
  for (; args.next < args.argc; ++args.next) {
    if (!command.empty()) command += ' ';
    command += args.argv[args.next];
  }
  options.areaCommand = std::move(command);
}

// Handles an option, given its whole argument and the rest after its letter.
// Returns false when it ends the reading of the command line (-!).
using OptionHandler = bool (*)(const char* option, const char* rest, ArgCursor& args,
                               RunOptions& options);

struct OptionEntry {
  char letter;  // lower case; the letter after the '-' or '/' in either case
  OptionHandler handle;
};

// Sets a flag that takes no value.
template <bool Settings::*flag>
bool setFlag(const char*, const char*, ArgCursor&, RunOptions&) {
  settings.*flag = true;
  return true;
}

bool basePathOption(const char*, const char* rest, ArgCursor& args, RunOptions& options) {
  options.basePathArg = takeValue(rest, args);
  return true;
}

bool onlyAreaOption(const char*, const char* rest, ArgCursor& args, RunOptions& options) {
  options.onlyArea = takeValue(rest, args);
  settings.onlyArea = options.onlyArea ? options.onlyArea->c_str() : nullptr;
  return true;
}

bool configOption(const char*, const char* rest, ArgCursor& args, RunOptions& options) {
  options.configPath = takeValue(rest, args);
  return true;
}

bool deletedListOption(const char*, const char* rest, ArgCursor& args, RunOptions& options) {
  settings.deleteListFile = true;
  takeListOption(rest, args, options);
  return true;
}

bool listOption(const char*, const char* rest, ArgCursor& args, RunOptions& options) {
  takeListOption(rest, args, options);
  return true;
}

bool jamOption(const char* option, const char*, ArgCursor&, RunOptions&) {
  // Only the whole word "jam"; -j alone means something else to the other
  // linkers, so it is refused rather than guessed at.
  if (!equalsNoCase(option + 1, "jam")) printUsage();
  settings.jamMode = true;
  return true;
}

bool msgOption(const char* option, const char*, ArgCursor&, RunOptions&) {
  // Only the whole word "msg", as for -jam: any other -m prints the usage.
  if (!equalsNoCase(option + 1, "msg")) printUsage();
  settings.msgMode = true;
  return true;
}

bool hptOption(const char* option, const char*, ArgCursor&, RunOptions&) {
  // Only the whole word "hpt" counts; any other -h is ignored silently.
  if (equalsNoCase(option + 1, "hpt")) settings.hptMode = true;
  return true;
}

bool logOption(const char*, const char* rest, ArgCursor& args, RunOptions&) {
  const std::optional<std::string> value = takeValue(rest, args);
  setLogPath(value ? *value : std::string_view{});
  return true;
}

bool subjectLengthOption(const char*, const char* rest, ArgCursor& args, RunOptions& options) {
  if (const std::optional<std::string> value = takeValue(rest, args)) {
    options.subjectLengthArg = readSignedDecimal(value->c_str());
  }
  return true;
}

bool linkTypeOption(const char*, const char* rest, ArgCursor&, RunOptions&) {
  if (rest[0] != '\0' && rest[1] == '\0' && linkTypeFromLetter(rest[0]) != 0) {
    settings.cmdLinkType = linkTypeFromLetter(rest[0]);
  }
  if (settings.cmdLinkType == 0) printUsage();
  return true;
}

bool areaCommandOption(const char* option, const char*, ArgCursor& args, RunOptions& options) {
  takeAreaCommand(option, args, options);
  return false;
}

bool flagsFileOption(const char*, const char* rest, ArgCursor& args, RunOptions&) {
  if (const std::optional<std::string> value = takeValue(rest, args)) {
    readFlagsFile(value->c_str());
  }
  return true;
}

constexpr OptionEntry optionTable[] = {
    {'#', basePathOption},
    {'a', onlyAreaOption},
    {'c', configOption},
    {'k', deletedListOption},
    {'f', listOption},
    {'j', jamOption},
    {'m', msgOption},
    {'h', hptOption},
    {'l', logOption},
    {'p', setFlag<&Settings::russianLookalikes>},
    {'q', setFlag<&Settings::quiet>},
    {'s', subjectLengthOption},
    {'t', linkTypeOption},
    {'$', setFlag<&Settings::onlyDollarAreas>},
    {'!', areaCommandOption},
    {'@', flagsFileOption},
};

// Handles one option argument; an unknown letter prints the usage. Returns
// false when it ends the reading of the command line (-!).
bool takeOption(const char* option, ArgCursor& args, RunOptions& options) {
  const char letter = static_cast<char>(asciiLower(static_cast<unsigned char>(option[1])));
  for (const OptionEntry& entry : optionTable) {
    if (entry.letter == letter) return entry.handle(option, option + 2, args, options);
  }
  printUsage();
}

void decideKindOfRun(RunOptions& options) {
  if (options.basePathArg) {
    // A single base: no configuration, so no list and no base directory.
    options.listPath.reset();
    settings.listPath = nullptr;
    options.configPath.reset();
    baseDir[0] = '\0';
    return;
  }
  if (!options.configPath) printUsage();
  const std::string& config = *options.configPath;
  const std::size_t slash = config.rfind('/');
  const std::string_view dir =
      slash == std::string::npos ? std::string_view{} : std::string_view(config).substr(0, slash + 1);
  copyCut(baseDir, dir, pathBufferSize - 1);
}

}  // namespace

void printBanner() { consoleOut(bannerText); }

void printUsage() {
  printBanner();
  consoleOut(usageText);
  endRun(exitNoChange);
}

void parseCommandLine(int argc, char** argv, RunOptions& options) {
  ArgCursor args{argc, argv, 1};
  while (args.next < args.argc) {
    const char* arg = args.argv[args.next++];
    if (arg[0] == '-' || arg[0] == '/') {
      if (!takeOption(arg, args, options)) break;
    } else {
      if (options.configPath) printUsage();
      options.configPath = std::string(arg);
    }
  }
  decideKindOfRun(options);
}

}  // namespace knotter
