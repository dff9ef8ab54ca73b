#include "dump_options.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/numbers.h"
#include "config/arguments.h"
#include "config/text.h"
#include "formats/format_table.h"
#include "plan.h"

namespace knotter::dump {
namespace {


constexpr const char* usageText =
    "Usage: knotter-dump [-s<num>] [-p] [-a<tag>] [--threads | --check | --plan [-t<type>]]\n"
    "                    <base path>\n"
    "\n"
    "Shows a Squish message base as the linker sees it, without changing it.\n"
    "\n"
    "   <base path>    The base, with or without \".sqd\"; a JAM base by its \".jhr\"\n"
    "                  A *.MSG area by its directory with a trailing \"/\"\n"
    "   -s<num>        Compare first <num> symbols of subjects (default 15)\n"
    "   -p             Treat Russian letters like 'p','y' as similar Latin ones\n"
    "   -a<tag>        Area tag for hashed MSGIDs and reports (default: base name)\n"
    "   --threads      Print the threads of the current reply-chain fields as a tree\n"
    "   --check        Only check the base for damage, as the linker would\n"
    "   --plan         Print what knotter -#<base path> -t<type> would change,\n"
    "                  writing nothing\n"
    "   -t<type>       Linking type of --plan, as knotter's: f - Flat, r - Reply\n"
    "                  (default), s - Subj, t - TimEd\n"
    "   -h, --help     Print this text\n"
    "\n"
    "Exit codes: 0 clean, 1 damaged or unreadable, 2 bad command line.\n";

// The subject length as the linker settles it: a number below 1 leaves the
// default, one above the width of the subject field is cut to it.
std::int32_t subjectLengthFrom(const std::string& text) {
  return clampSubjectLength(readSignedDecimal(text.c_str()));
}

bool setMode(DumpOptions& options, DumpMode mode) {
  if (options.mode != DumpMode::listing && options.mode != mode) return false;
  options.mode = mode;
  return true;
}

// The base path less a final ".sqd", or ".jhr" for a JAM base, and its name
// as the area tag, as the linker's -# option makes them.
void setBase(DumpOptions& options, std::string_view path) {
  const BasePath base = splitBasePath(path);
  options.format = base.format;
  options.basePath = base.path;
  if (options.areaTag.empty()) options.areaTag = base.tag;
}

// Handles one option argument; false for an unknown or malformed one.
bool takeOption(const char* option, ArgCursor& args, DumpOptions& options, ParseResult& result) {
  if (std::strcmp(option, "--threads") == 0) return setMode(options, DumpMode::threads);
  if (std::strcmp(option, "--check") == 0) return setMode(options, DumpMode::check);
  if (std::strcmp(option, "--plan") == 0) return setMode(options, DumpMode::plan);
  if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
    result = ParseResult::help;
    return true;
  }
  const char* rest = option + 2;
  switch (option[1]) {
    case 's':
      if (const std::optional<std::string> value = takeValue(rest, args)) {
        options.subjectLength = subjectLengthFrom(*value);
      }
      return true;
    case 'p':
      if (*rest != '\0') return false;
      options.russianLookalikes = true;
      return true;
    case 'a':
      if (const std::optional<std::string> value = takeValue(rest, args)) {
        options.areaTag = *value;
        return !value->empty();
      }
      return false;
    case 't':
      if (const std::optional<std::string> value = takeValue(rest, args)) {
        if (const std::optional<LinkType> type = linkTypeNamed(*value)) {
          options.linkType = *type;
          options.linkTypeGiven = true;
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}

}  // namespace

ParseResult parseDumpOptions(int argc, char** argv, DumpOptions& options) {
  ArgCursor args{argc, argv, 1};
  ParseResult result = ParseResult::run;
  std::optional<std::string> base;
  bool optionsEnded = false;
  while (args.next < args.argc && result == ParseResult::run) {
    const char* arg = args.argv[args.next++];
    if (!optionsEnded && std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
      if (!takeOption(arg, args, options, result)) return ParseResult::usageError;
    } else if (base || arg[0] == '\0') {
      return ParseResult::usageError;
    } else {
      base = arg;
    }
  }
  if (result != ParseResult::run) return result;
  if (!base) return ParseResult::usageError;
  // A link type means something to the plan alone.
  if (options.linkTypeGiven && options.mode != DumpMode::plan) return ParseResult::usageError;
  setBase(options, *base);
  return ParseResult::run;
}

void printDumpUsage(std::FILE* out) {
  std::fputs(usageText, out);
  std::fflush(out);
}

}  // namespace knotter::dump
