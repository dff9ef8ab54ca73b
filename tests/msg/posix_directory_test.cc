// The *.MSG directory on disk: what opening a name finds, and the checks
// before a write, played against real files that another program replaces,
// changes, or turns into a link or a FIFO between the reading and the
// writing. Whatever was planted must stay as it was.
#include "msg/posix_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/msg_area_builder.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

using knotter::MsgFileKind;
using knotter::MsgFileOpen;
using knotter::MsgLinkWords;
using knotter::MsgWriteOutcome;
using knotter::OpenFor;
using knotter::PosixMsgDirectory;

class Names final : public knotter::MsgNameVisitor {
 public:
  void name(std::string_view name) override { names.emplace_back(name); }
  std::vector<std::string> names;
};

TEST(PosixMsgDirectory, OpeningANameSaysWhatItLeadsTo) {
  TempDir dir;
  writeMsgFile(dir.path(), "2.msg", {});
  writeFile(dir.file("outside"), buildMsgFile({}));
  std::filesystem::create_symlink(dir.file("outside"), dir.file("3.msg"));
  std::filesystem::create_directory(dir.file("4.msg"));
  ASSERT_EQ(::mkfifo(dir.file("5.msg").c_str(), 0644), 0);
  std::filesystem::create_hard_link(dir.file("outside"), dir.file("6.msg"));
  for (const OpenFor purpose : {OpenFor::linking, OpenFor::inspecting}) {
    SCOPED_TRACE(purpose == OpenFor::linking ? "linking" : "inspecting");
    PosixMsgDirectory directory(dir.path().string(), purpose);
    ASSERT_EQ(directory.open(), 0);
    const struct {
      std::uint32_t number;
      MsgFileKind kind;
    } cases[] = {{2, MsgFileKind::regular},    {3, MsgFileKind::notRegular},
                 {4, MsgFileKind::notRegular}, {5, MsgFileKind::notRegular},
                 {6, MsgFileKind::hardLink},   {7, MsgFileKind::gone}};
    for (const auto& c : cases) {
      SCOPED_TRACE(c.number);
      const MsgFileOpen opened = directory.openFile(c.number);
      EXPECT_EQ(opened.kind, c.kind);
      if (c.kind == MsgFileKind::regular) {
        EXPECT_EQ(opened.size, 190u + 6u);
      }
      directory.closeFile();
    }
    Names names;
    EXPECT_EQ(directory.list(names), 0);
    std::sort(names.names.begin(), names.names.end());
    EXPECT_EQ(names.names,
              (std::vector<std::string>{"2.msg", "3.msg", "4.msg", "5.msg", "6.msg", "outside"}));
  }
}

TEST(PosixMsgDirectory, AMissingDirectoryOrAFileInItsPlaceCannotBeOpened) {
  TempDir dir;
  writeFile(dir.file("plain"), "");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  EXPECT_EQ(PosixMsgDirectory(dir.file("none").string(), OpenFor::linking).open(), ENOENT);
  EXPECT_EQ(PosixMsgDirectory(dir.file("plain").string(), OpenFor::linking).open(), ENOTDIR);
  EXPECT_EQ(PosixMsgDirectory(dir.file("fifo").string(), OpenFor::linking).open(), ENOTDIR);
}

// A file read as 5.msg, and what another program does to it before it is
// written; the run must then write nothing, anywhere.
struct Interference {
  const char* name;
  void (*act)(const TempDir& dir);
  MsgWriteOutcome outcome;
};

void replaceFile(const TempDir& dir) {
  writeFile(dir.file("new.msg"), readFile(dir.file("area/5.msg")));
  std::filesystem::rename(dir.file("new.msg"), dir.file("area/5.msg"));
}

void plantSymlink(const TempDir& dir) {
  std::filesystem::remove(dir.file("area/5.msg"));
  std::filesystem::create_symlink(dir.file("target"), dir.file("area/5.msg"));
}

void plantFifo(const TempDir& dir) {
  std::filesystem::remove(dir.file("area/5.msg"));
  ASSERT_EQ(::mkfifo(dir.file("area/5.msg").c_str(), 0644), 0);
}

TEST(PosixMsgDirectory, AWriteChecksThatTheFileIsStillTheOneRead) {
  const Interference cases[] = {
      {"nothing", [](const TempDir&) {}, MsgWriteOutcome::written},
      {"the attribute set", [](const TempDir& d) { setU16(d.file("area/5.msg"), 186, 0xFFFF); },
       MsgWriteOutcome::written},
      {"replaced by a copy", replaceFile, MsgWriteOutcome::changed},
      {"its up changed", [](const TempDir& d) { setU16(d.file("area/5.msg"), 188, 4); },
       MsgWriteOutcome::changed},
      {"its replyTo changed", [](const TempDir& d) { setU16(d.file("area/5.msg"), 184, 4); },
       MsgWriteOutcome::changed},
      {"removed", [](const TempDir& d) { std::filesystem::remove(d.file("area/5.msg")); },
       MsgWriteOutcome::changed},
      {"cut short", [](const TempDir& d) { truncateFile(d.file("area/5.msg"), 189); },
       MsgWriteOutcome::changed},
      {"given a second name",
       [](const TempDir& d) {
         std::filesystem::create_hard_link(d.file("area/5.msg"), d.file("second"));
       },
       MsgWriteOutcome::changed},
      {"a symbolic link to another file in its place", plantSymlink, MsgWriteOutcome::changed},
      {"a FIFO in its place", plantFifo, MsgWriteOutcome::changed},
  };
  for (const Interference& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directory(dir.file("area"));
    writeMsgFile(dir.file("area"), "5.msg", {.replyTo = 2, .up = 3});
    writeMsgFile(dir.path(), "target", {.replyTo = 2, .up = 3});
    const std::string target = readFile(dir.file("target"));
    PosixMsgDirectory directory(dir.file("area").string(), OpenFor::linking);
    ASSERT_EQ(directory.open(), 0);
    const MsgFileOpen opened = directory.openFile(5);
    directory.closeFile();
    ASSERT_EQ(opened.kind, MsgFileKind::regular);
    c.act(dir);
    const bool regular = std::filesystem::is_regular_file(
        std::filesystem::symlink_status(dir.file("area/5.msg")));
    const std::string before = regular ? readFile(dir.file("area/5.msg")) : "";
    const knotter::MsgWriteResult result =
        directory.writeLinks(5, opened.id, MsgLinkWords{2, 3}, MsgLinkWords{7, 3});
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(readFile(dir.file("target")), target);
    if (c.outcome == MsgWriteOutcome::written) {
      std::string expected = before;
      putU16(expected, 184, 7);
      EXPECT_EQ(readFile(dir.file("area/5.msg")), expected);
    } else if (regular) {
      EXPECT_EQ(readFile(dir.file("area/5.msg")), before);
    }
  }
}

TEST(PosixMsgDirectory, OnlyTheFieldsThatDifferAreWritten) {
  TempDir dir;
  writeMsgFile(dir.path(), "5.msg", {.replyTo = 2, .up = 3});
  PosixMsgDirectory directory(dir.path().string(), OpenFor::linking);
  ASSERT_EQ(directory.open(), 0);
  const MsgFileOpen opened = directory.openFile(5);
  directory.closeFile();
  // Between the reading and the writing, another program puts new bytes
  // into the attribute and into the date: a write of up alone keeps them,
  // and replyTo as well.
  setU16(dir.file("5.msg"), 186, 0xABCD);
  setU16(dir.file("5.msg"), 150, 0x3939);
  EXPECT_EQ(directory.writeLinks(5, opened.id, {2, 3}, {2, 0x1234}).outcome,
            MsgWriteOutcome::written);
  std::string expected = buildMsgFile({.replyTo = 2, .up = 0x1234, .attribute = 0xABCD});
  putU16(expected, 150, 0x3939);
  EXPECT_EQ(readFile(dir.file("5.msg")), expected);
}

TEST(PosixMsgDirectory, AnInspectingDirectoryNeverWrites) {
  TempDir dir;
  writeMsgFile(dir.path(), "5.msg", {.replyTo = 2, .up = 3});
  ASSERT_EQ(::chmod(dir.file("5.msg").c_str(), 0444), 0);
  PosixMsgDirectory directory(dir.path().string(), OpenFor::inspecting);
  ASSERT_EQ(directory.open(), 0);
  const MsgFileOpen opened = directory.openFile(5);
  directory.closeFile();
  EXPECT_EQ(opened.kind, MsgFileKind::regular);
  EXPECT_EQ(directory.writeLinks(5, opened.id, {2, 3}, {0, 0}).outcome, MsgWriteOutcome::failed);
  EXPECT_EQ(readMsgLinks(dir.file("5.msg")), (MsgLinks{2, 3}));
}

}  // namespace
}  // namespace ktest
