#include "driver/run.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "config/area_table.h"
#include "config/arguments.h"
#include "config/config_reader.h"
#include "config/path_resolver.h"
#include "config/settings.h"
#include "config/text.h"
#include "driver/area_processor.h"
#include "driver/area_selection.h"
#include "driver/command_hooks.h"
#include "driver/command_line.h"
#include "driver/early_exit.h"
#include "formats/format_table.h"
#include "linker/kludge_scanner.h"
#include "linker/scratch_buffer.h"
#include "linker/subject_normaliser.h"
#include "log/log.h"

namespace knotter {
namespace {

constexpr std::size_t maxExecutedLine = 2046;

// The single-base record of -#.
void appendSingleBase(const std::string& basePathArg) {
  const BasePath base = splitBasePath(basePathArg);
  appendArea(base.tag, base.path, 0, base.format);
}

// "Executed: " and the arguments, leaving out the first argument that would
// make the line too long and all after it.
void logExecutedLine(int argc, char** argv) {
  std::string line = "Executed: ";
  for (int i = 1; i < argc; ++i) {
    const std::size_t separator = i > 1 ? 1 : 0;
    if (line.size() + separator + std::strlen(argv[i]) > maxExecutedLine) break;
    if (separator != 0) line += ' ';
    line += argv[i];
  }
  logWrite(levelDetail, line.c_str(), true);
}

void fixSubjectLength(std::int32_t subjectLengthArg) {
  // -s wins over the configuration when it gives a usable length.
  if (subjectLengthArg > 0) settings.subjectLength = subjectLengthArg;
  settings.subjectLength = clampSubjectLength(settings.subjectLength);
}

// The run inherits its signal state from whatever started it. The lock wait
// needs SIGALRM delivered, the commands need their exit status (which an
// ignored SIGCHLD discards), and a console that went away must not end the
// run before it has linked anything: console output is then dropped. A
// handler, unlike SIG_IGN, is reset for the commands the run starts.
void setUpSignals() {
  sigset_t alarmOnly;
  sigemptyset(&alarmOnly);
  sigaddset(&alarmOnly, SIGALRM);
  ::sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
  ::signal(SIGCHLD, SIG_DFL);
  struct sigaction pipeAction {};
  pipeAction.sa_handler = [](int) {};
  sigemptyset(&pipeAction.sa_mask);
  pipeAction.sa_flags = SA_RESTART;
  ::sigaction(SIGPIPE, &pipeAction, nullptr);
}

void refuseOnlyArea(const char* tag) {
  logMessage(levelError, "! %s is not a Squish message base", tag);
}

void setUpConfiguration(const RunOptions& options) {
  if (options.configPath) {
    if (!readConfig(options.configPath->c_str(), refuseOnlyArea)) endRun(exitNoConfig);
  } else {
    appendSingleBase(*options.basePathArg);
  }
  if (settings.cmdLinkType != 0) settings.linkType = settings.cmdLinkType;
  if (settings.logPath[0] != '\0') {
    char resolved[pathBufferSize];
    const bool fits = resolvePath(settings.logPath, resolved);
    setLogPath(resolved, !fits || settings.logPathTooLong);
  }
}

// Runs the area command and, unless plain -! was given, links the area.
// Returns true when the area had a header changed.
bool runArea(const AreaRecord& area, const RunOptions& options) {
  // A path that was cut holds maxPathLength characters, more than an area
  // path may have, so the one length test below refuses it as well.
  char areaPath[pathBufferSize];
  resolvePath(area.path.c_str(), areaPath);
  if (options.areaCommand) {
    // A command is never given a cut path: the area is refused instead,
    // here for plain -!, by processArea after the progress text for -!+.
    if (areaPathTooLong(areaPath)) {
      if (!options.linkAfterCommand) reportAreaPathTooLong(areaPath, area.format);
    } else {
      runAreaCommand(options.areaCommand->c_str(), area.tag.c_str(),
                     dataFilePath(area.format, areaPath).c_str());
    }
    if (!options.linkAfterCommand) return false;
  }
  return processArea(area, areaPath) == AreaOutcome::changed;
}

}  // namespace

int runKnotter(int argc, char** argv) {
  setUpSignals();
  RunOptions options;
  parseCommandLine(argc, argv, options);
  if (!settings.quiet) printBanner();

  setUpConfiguration(options);
  logWrite(levelError, "Begin, Knotwork v2.4", true);
  if (settings.logLevel > 8) logExecutedLine(argc, argv);
  if (settings.listPath != nullptr) selectAreas();

  fixSubjectLength(options.subjectLengthArg);
  buildSubjectScanTable(settings.russianLookalikes);

  if (!areaTable.empty()) {
    const bool scriptOnly = options.areaCommand && !options.linkAfterCommand;
    logMessage(levelStart, scriptOnly ? "Running script" : "Linking areas");
  }
  bool anyAreaChanged = false;
  for (const AreaRecord& area : areaTable) {
    if (runArea(area, options)) anyAreaChanged = true;
  }

  releaseScratchBuffer();
  if (settings.deleteListFile && settings.listPath != nullptr) ::unlink(settings.listPath);
  logWrite(levelError, "End, Knotwork v2.4", true);
  if (settings.hptMode && logFileWritten()) logWrite(levelAlways, "", false);
  return anyAreaChanged ? exitChanged : exitNoChange;
}

}  // namespace knotter
