#include "msg_inspection.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base_inspection.h"
#include "config/text.h"
#include "linker/kludge_scanner.h"
#include "linker/subject_normaliser.h"
#include "listing.h"
#include "log/area_reports.h"
#include "msg/msg_file.h"
#include "msg/posix_directory.h"
#include "thread_tree.h"

namespace knotter::dump {
namespace {

struct MsgView {
  std::uint32_t number = 0;
  MsgFileState state = MsgFileState::gone;
  int error = 0;  // for cannotOpen
  MsgIdKey msgId{};
  MsgIdKey reply{};
  MsgLinkWords links{};
  std::uint8_t subjectLength = 0;
  std::uint8_t subject[msgSubjectSize] = {};
};

struct MsgInspection {
  std::uint64_t entries = 0;         // every name the listing gave
  std::vector<MsgView> files;        // the canonical names, ascending
  std::vector<std::string> ignored;  // names ending in .msg in any case that are not
};

// Sorts the listing's names into canonical numbers and ignored names.
class Sorter final : public MsgNameVisitor {
 public:
  explicit Sorter(MsgInspection& inspection) : inspection_(inspection) {}
  void name(std::string_view name) override {
    ++inspection_.entries;
    if (const std::uint32_t number = msgNumberOfName(name); number != 0) {
      inspection_.files.push_back({.number = number});
    } else if (name.size() >= 4 && equalsNoCase(name.substr(name.size() - 4), ".msg")) {
      inspection_.ignored.emplace_back(name);
    }
  }

 private:
  MsgInspection& inspection_;
};

// Reads one canonical file as the source would; 1.msg is never read.
void readView(MsgDirectory& directory, const DumpOptions& options, std::uint32_t areaTagHash,
              MsgReadBuffer& buffer, MsgView& view) {
  if (view.number == msgHighwaterNumber) {
    view.state = MsgFileState::highwater;
    return;
  }
  KludgeScan scan;
  startKludgeScan(scan, view.msgId, view.reply, areaTagHash);
  MessageReader reader = MessageReader::ofKludges(scan);
  const MsgFileRead read = readMsgFile(directory, view.number, buffer, &reader);
  finishKludgeScan(scan);
  view.state = read.state;
  view.error = read.error;
  if (read.state != MsgFileState::message) {
    view.msgId = view.reply = MsgIdKey{};
    return;
  }
  view.links = read.links;
  view.subjectLength =
      static_cast<std::uint8_t>(normaliseSubject(read.subject, options.subjectLength, view.subject));
}

// False after reporting a directory that cannot be opened or listed.
bool inspect(const DumpOptions& options, MsgInspection& inspection) {
  const std::string shown = msgPathOf(options.basePath, "");
  PosixMsgDirectory directory(options.basePath, OpenFor::inspecting);
  if (const int error = directory.open(); error != 0) {
    reportCannotOpen(shown.c_str(), error);
    return false;
  }
  Sorter sorter(inspection);
  if (directory.list(sorter) != 0) {
    reportFileReadError(shown.c_str());
    return false;
  }
  std::sort(inspection.files.begin(), inspection.files.end(),
            [](const MsgView& a, const MsgView& b) { return a.number < b.number; });
  std::sort(inspection.ignored.begin(), inspection.ignored.end());
  const std::uint32_t areaTagHash = MsgIdHash(options.areaTag.c_str());
  MsgReadBuffer buffer;
  for (MsgView& view : inspection.files) readView(directory, options, areaTagHash, buffer, view);
  return true;
}

std::size_t participants(const MsgInspection& inspection) {
  return static_cast<std::size_t>(
      std::count_if(inspection.files.begin(), inspection.files.end(),
                    [](const MsgView& v) { return v.state == MsgFileState::message; }));
}

// The word of a file that takes no part, or that ends the area.
const char* stateWord(MsgFileState state) {
  switch (state) {
    case MsgFileState::message: break;
    case MsgFileState::gone: return "gone";
    case MsgFileState::notRegular: return "not-regular";
    case MsgFileState::hardLink: return "hard-link";
    case MsgFileState::shortFile: return "short";
    case MsgFileState::highwater: return "highwater";
    case MsgFileState::cannotOpen: return "cannot-open";
    case MsgFileState::readError: return "read-error";
  }
  return "";
}

std::string subjectText(const MsgView& view) {
  return quoted(std::string_view(reinterpret_cast<const char*>(view.subject), view.subjectLength));
}

void printHeader(const DumpOptions& options, const MsgInspection& inspection) {
  std::printf("base=%s tag=%s format=msg files=%llu messages=%zu\n",
              quoted(msgPathOf(options.basePath, "")).c_str(), quoted(options.areaTag).c_str(),
              static_cast<unsigned long long>(inspection.entries), participants(inspection));
}

void printListing(const DumpOptions& options, const MsgInspection& inspection) {
  printHeader(options, inspection);
  for (const MsgView& view : inspection.files) {
    if (view.state != MsgFileState::message) {
      std::printf("%u %s\n", static_cast<unsigned>(view.number), stateWord(view.state));
      continue;
    }
    std::printf("%u msgid=%s reply=%s replyto=%u up=%u subj=%s\n",
                static_cast<unsigned>(view.number), keyText(view.msgId).c_str(),
                keyText(view.reply).c_str(), static_cast<unsigned>(view.links.replyTo),
                static_cast<unsigned>(view.links.up), subjectText(view).c_str());
  }
  for (const std::string& name : inspection.ignored) {
    std::printf("name=%s ignored\n", quoted(name).c_str());
  }
}

// The tree of replyTo, through the inspector's own thread printer: files
// that take no part are left out as damaged messages are.
void printMsgThreads(const DumpOptions& options, const MsgInspection& inspection) {
  printHeader(options, inspection);
  BaseInspection tree;
  for (const MsgView& file : inspection.files) {
    MessageView view;
    view.position = static_cast<std::uint32_t>(tree.messages.size());
    view.umsgid = file.number;
    view.state = file.state == MsgFileState::message ? FrameState::ok : FrameState::noHeader;
    view.replyto = file.links.replyTo;
    view.replies[0] = file.links.up;
    view.subjectLength = file.subjectLength;
    std::copy(std::begin(file.subject), std::end(file.subject), view.subject);
    tree.messages.push_back(view);
  }
  printThreads(stdout, tree);
}

// Reports the first file, in ascending number, that would make the linker
// give the area up; true when there is one.
bool reportFailure(const DumpOptions& options, const MsgInspection& inspection) {
  for (const MsgView& view : inspection.files) {
    char name[msgNameBufferSize];
    msgNameOf(view.number, name);
    const std::string path = msgPathOf(options.basePath, name);
    if (view.state == MsgFileState::cannotOpen) {
      reportCannotOpen(path.c_str(), view.error);
      return true;
    }
    if (view.state == MsgFileState::readError) {
      reportFileReadError(path.c_str());
      return true;
    }
  }
  return false;
}

}  // namespace

int runMsgDump(const DumpOptions& options) {
  MsgInspection inspection;
  if (!inspect(options, inspection)) return exitDamaged;
  if (options.mode == DumpMode::listing) printListing(options, inspection);
  if (options.mode == DumpMode::threads) printMsgThreads(options, inspection);
  std::fflush(stdout);
  if (reportFailure(options, inspection)) return exitDamaged;
  if (options.mode == DumpMode::check) {
    std::printf("%s: %zu messages, no damage found\n", options.areaTag.c_str(),
                participants(inspection));
  }
  return exitClean;
}

}  // namespace knotter::dump
