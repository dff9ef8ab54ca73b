#include "dump_run.h"

#include <cstdio>

#include "base_inspection.h"
#include "config/settings.h"
#include "damage_check.h"
#include "dump_options.h"
#include "jam_inspection.h"
#include "linker/kludge_scanner.h"
#include "linker/subject_normaliser.h"
#include "listing.h"
#include "log/log.h"
#include "msg_inspection.h"
#include "plan.h"
#include "thread_tree.h"

namespace knotter::dump {

namespace {

// JAM index records without a header: slots, not messages.
std::size_t hardDeleted(const BaseInspection& inspection) {
  std::size_t count = 0;
  for (const MessageView& view : inspection.messages) {
    if (view.state == FrameState::noHeader) ++count;
  }
  return count;
}

// Reads the base as its format is read for the listing.
bool inspectAny(const DumpOptions& options, BaseInspection& inspection) {
  return options.format == BaseFormat::jam ? inspectJamBase(options, inspection)
                                           : inspectBase(options, inspection);
}

}  // namespace

int runDump(int argc, char** argv) {
  DumpOptions options;
  switch (parseDumpOptions(argc, argv, options)) {
    case ParseResult::help:
      printDumpUsage(stdout);
      return exitClean;
    case ParseResult::usageError:
      printDumpUsage(stderr);
      return exitUsage;
    case ParseResult::run:
      break;
  }
  // The reports' detail lines (which offset, which message) are what a
  // sysop runs the inspector for; there is no log file to keep them from.
  settings.logLevel = levelDetail;
  settings.russianLookalikes = options.russianLookalikes;
  settings.subjectLength = options.subjectLength;
  buildSubjectScanTable(options.russianLookalikes);
  if (options.mode == DumpMode::plan) return printPlan(options, inspectAny);
  if (options.format == BaseFormat::msg) return runMsgDump(options);

  BaseInspection inspection;
  if (!inspectAny(options, inspection)) return exitDamaged;
  if (options.mode != DumpMode::check) {
    printHeaderLine(stdout, options, inspection);
    if (options.mode == DumpMode::threads) {
      printThreads(stdout, inspection);
    } else {
      printMessageLines(stdout, inspection);
    }
    std::fflush(stdout);
  }
  if (reportDamage(options.areaTag.c_str(), inspection)) return exitDamaged;
  if (options.mode == DumpMode::check) {
    std::printf("%s: %zu messages, no damage found\n", options.areaTag.c_str(),
                inspection.messages.size() - hardDeleted(inspection));
  }
  return exitClean;
}

}  // namespace knotter::dump
