// A *.MSG area linked through its source and sink over a directory in
// memory, where a test plays the other programs: a file replaced or its
// fields changed between reading and writing ends the area at that file
// with the files before it written and none after; a changed attribute does
// not; a file that cannot be opened or read ends the area before anything
// is written; the ending signals are held from the first write to the last.
#include "msg/msg_sink.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "config/settings.h"
#include "linker/link_area.h"
#include "linker/subject_normaliser.h"
#include "msg/memory_directory.h"
#include "msg/msg_source.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

using knotter::LinkType;
using knotter::MemoryMsgDirectory;
using knotter::MemoryMsgFile;

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// 2 is an original, 3, 4 and 5 reply to it, each with stale fields: every
// file changes on a first link of any type.
MemoryMsgDirectory thread() {
  MemoryMsgDirectory directory;
  for (std::uint32_t n = 2; n <= 5; ++n) {
    std::vector<std::string> kludges{msgIdKludge(n)};
    if (n > 2) kludges.push_back(replyKludge(2));
    const MsgFileSpec spec{.subject = "Topic", .text = msgText(kludges), .replyTo = 9, .up = 9};
    directory.files.push_back({.name = std::to_string(n) + ".msg", .bytes = bytesOf(buildMsgFile(spec))});
  }
  return directory;
}

struct Linked {
  knotter::LinkOutcome outcome;
  std::vector<std::string> reports;  // the log's lines but blank ones
};

// Links the directory as the area AREA at /m/area, logging to a file.
Linked linkDirectory(MemoryMsgDirectory& directory, LinkType type) {
  TempDir logDir;
  knotter::settings.quiet = true;
  knotter::setLogPath(logDir.file("run.log").string());
  knotter::buildSubjectScanTable(false);
  knotter::MsgSource source("AREA", "/m/area", directory);
  knotter::MsgSink sink("AREA", "/m/area", directory);
  Linked linked;
  linked.outcome = knotter::linkArea({type, "AREA", 15}, source, sink);
  for (const std::string& line : readLogLines(logDir.file("run.log"))) {
    if (!line.empty()) linked.reports.push_back(line);
  }
  knotter::resetSettings();
  return linked;
}

MsgLinks linksOf(MemoryMsgDirectory& directory, std::uint32_t number) {
  const MemoryMsgFile* file = directory.find(std::to_string(number) + ".msg");
  const std::uint8_t* h = file->bytes.data();
  return {static_cast<std::uint16_t>(h[184] | h[185] << 8),
          static_cast<std::uint16_t>(h[188] | h[189] << 8)};
}

void setWord(MemoryMsgFile& file, std::size_t at, std::uint16_t value) {
  file.bytes[at] = static_cast<std::uint8_t>(value);
  file.bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

struct OtherWriter {
  const char* name;
  void (*change)(MemoryMsgFile& file);
};

TEST(MsgSink, AFileChangedBetweenReadingAndWritingEndsTheAreaThere) {
  const OtherWriter writers[] = {
      {"replaced by another file", [](MemoryMsgFile& f) { f.inode = 77; }},
      {"its up changed", [](MemoryMsgFile& f) { setWord(f, msgAt::up, 3); }},
      {"its replyTo changed", [](MemoryMsgFile& f) { setWord(f, msgAt::replyTo, 3); }},
      {"now a symbolic link", [](MemoryMsgFile& f) { f.kind = knotter::MsgFileKind::notRegular; }},
      {"given a second name", [](MemoryMsgFile& f) { f.kind = knotter::MsgFileKind::hardLink; }},
      {"removed", [](MemoryMsgFile& f) { f.name = "gone"; }},
      {"cut short", [](MemoryMsgFile& f) { f.bytes.resize(100); }},
  };
  for (const OtherWriter& w : writers) {
    SCOPED_TRACE(w.name);
    MemoryMsgDirectory directory = thread();
    const std::vector<std::uint8_t> fiveBefore = directory.find("5.msg")->bytes;
    directory.beforeWrite = [&](std::uint32_t number) {
      if (number == 4) w.change(*directory.find("4.msg"));
    };
    const Linked linked = linkDirectory(directory, LinkType::timEd);
    EXPECT_FALSE(linked.outcome.linked);
    EXPECT_EQ(linked.reports,
              std::vector<std::string>{"! Message base of AREA changed while it was read"});
    EXPECT_EQ(linksOf(directory, 2), (MsgLinks{0, 3}));
    EXPECT_EQ(linksOf(directory, 3), (MsgLinks{2, 0}));
    EXPECT_EQ(directory.find("5.msg")->bytes, fiveBefore);
    EXPECT_EQ(directory.writeOpens, 3u);
  }
}

TEST(MsgSink, AnAttributeChangedMeanwhileIsKeptAndTheWriteGoesAhead) {
  MemoryMsgDirectory directory = thread();
  directory.beforeWrite = [&](std::uint32_t number) {
    setWord(*directory.find(std::to_string(number) + ".msg"), msgAt::attribute, 0x8181);
  };
  const Linked linked = linkDirectory(directory, LinkType::timEd);
  ASSERT_TRUE(linked.outcome.linked);
  EXPECT_EQ(linked.outcome.counts.changed, 4u);
  for (std::uint32_t n = 2; n <= 5; ++n) {
    const MemoryMsgFile* file = directory.find(std::to_string(n) + ".msg");
    EXPECT_EQ(file->bytes[msgAt::attribute], 0x81);
    EXPECT_EQ(file->bytes[msgAt::attribute + 1], 0x81);
  }
  EXPECT_EQ(linksOf(directory, 2), (MsgLinks{0, 3}));
  EXPECT_EQ(linksOf(directory, 5), (MsgLinks{2, 0}));
}

TEST(MsgSink, AWriteThatFailsIsReportedWithTheFileAndItsError) {
  MemoryMsgDirectory directory = thread();
  directory.find("4.msg")->writeError = ENOSPC;
  const Linked linked = linkDirectory(directory, LinkType::flat);
  EXPECT_FALSE(linked.outcome.linked);
  EXPECT_EQ(linked.reports, std::vector<std::string>{"! Cannot write file /m/area/4.msg (28)"});
  EXPECT_EQ(linksOf(directory, 3), (MsgLinks{2, 4}));
  EXPECT_EQ(linksOf(directory, 5), (MsgLinks{9, 9}));
}

struct ReadFailure {
  const char* name;
  void (*fail)(MemoryMsgDirectory& directory);
  std::string report;
};

TEST(MsgSink, AFileThatCannotBeReadEndsTheAreaBeforeAnyWrite) {
  const ReadFailure failures[] = {
      {"no permission",
       [](MemoryMsgDirectory& d) {
         d.find("4.msg")->kind = knotter::MsgFileKind::failed;
         d.find("4.msg")->openError = EACCES;
       },
       "! Cannot open file /m/area/4.msg (13)"},
      {"a read error", [](MemoryMsgDirectory& d) { d.find("5.msg")->readError = EIO; },
       "! Error reading file /m/area/5.msg"},
      {"the directory locked", [](MemoryMsgDirectory& d) { d.openError = EINTR; },
       "! Cannot open file /m/area/ (4)"},
      {"the listing failed", [](MemoryMsgDirectory& d) { d.listError = EIO; },
       "! Error reading file /m/area/"},
  };
  for (const ReadFailure& f : failures) {
    for (const LinkType type : {LinkType::timEd, LinkType::subj}) {
      SCOPED_TRACE(std::string(f.name) + (type == LinkType::subj ? " subj" : " timEd"));
      MemoryMsgDirectory directory = thread();
      f.fail(directory);
      const Linked linked = linkDirectory(directory, type);
      EXPECT_FALSE(linked.outcome.linked);
      EXPECT_EQ(linked.reports, std::vector<std::string>{f.report});
      EXPECT_EQ(directory.writeOpens, 0u);
    }
  }
}

bool endingSignalsBlocked() {
  sigset_t mask;
  sigemptyset(&mask);
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, SIGTERM) == 1 && sigismember(&mask, SIGINT) == 1 &&
         sigismember(&mask, SIGHUP) == 1 && sigismember(&mask, SIGQUIT) == 1;
}

TEST(MsgSink, EndingSignalsAreHeldFromTheFirstWriteToTheLast) {
  MemoryMsgDirectory directory = thread();
  std::vector<bool> heldAtWrite;
  directory.beforeWrite = [&](std::uint32_t) { heldAtWrite.push_back(endingSignalsBlocked()); };
  ASSERT_FALSE(endingSignalsBlocked());
  const Linked linked = linkDirectory(directory, LinkType::reply);
  ASSERT_TRUE(linked.outcome.linked);
  // The first write is asked for with the signals held already.
  EXPECT_EQ(heldAtWrite, std::vector<bool>(4, true));
  EXPECT_FALSE(endingSignalsBlocked());
}

TEST(MsgSink, ALinkedAreaIsNotOpenedForWritingAgain) {
  MemoryMsgDirectory directory = thread();
  ASSERT_EQ(linkDirectory(directory, LinkType::subj).outcome.counts.changed, 4u);
  directory.writeOpens = 0;
  const Linked again = linkDirectory(directory, LinkType::subj);
  EXPECT_TRUE(again.outcome.linked);
  EXPECT_EQ(again.outcome.counts.changed, 0u);
  EXPECT_EQ(again.outcome.counts.total, 4u);
  EXPECT_EQ(directory.writeOpens, 0u);
}

}  // namespace
}  // namespace ktest
