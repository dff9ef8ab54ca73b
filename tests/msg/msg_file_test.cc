// How one *.MSG file is read: which checks make it take no part, and which
// bytes of its text the kludge scanner is given. The keys must be those of
// the same kludges in Squish control information, whatever ends the lines
// and wherever a read step cuts the text; only the kludge lines at the start
// of the text count, and a long text costs one read.
#include "msg/msg_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "linker/kludge_scanner.h"
#include "msg/memory_directory.h"
#include "support/msg_area_builder.h"

namespace ktest {
namespace {

using knotter::MemoryMsgDirectory;
using knotter::MemoryMsgFile;
using knotter::MsgFileKind;
using knotter::MsgFileState;
using knotter::MsgIdKey;

const std::string msgId = "\x01MSGID: 2:5020/1 0000000a";
const std::string reply = "\x01REPLY: 2:5020/1 0000000b";

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

struct Keys {
  MsgIdKey msgId;
  MsgIdKey reply;
};

// A key as text, so that two compare and show in a failure.
std::string shown(const MsgIdKey& key) {
  char number[16];
  std::snprintf(number, sizeof number, ",%08x", key.number);
  return '"' + std::string(key.text) + '"' + number;
}

const std::uint32_t tagHash = knotter::MsgIdHash("AREA");

// The keys of Squish control information.
Keys squishKeys(const std::string& control) {
  Keys keys;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(control.data());
  knotter::scanKludges(keys.msgId, keys.reply, bytes, bytes + control.size(), tagHash);
  return keys;
}

struct Read {
  knotter::MsgFileRead read;
  Keys keys;
  std::uint32_t reads = 0;
};

// Reads 5.msg of a directory holding just that file.
Read readOne(MemoryMsgFile file) {
  MemoryMsgDirectory directory;
  file.name = "5.msg";
  directory.files.push_back(std::move(file));
  Read out;
  knotter::KludgeScan scan;
  knotter::startKludgeScan(scan, out.keys.msgId, out.keys.reply, tagHash);
  knotter::MessageReader reader = knotter::MessageReader::ofKludges(scan);
  knotter::MsgReadBuffer buffer;
  out.read = knotter::readMsgFile(directory, 5, buffer, &reader);
  knotter::finishKludgeScan(scan);
  out.reads = directory.fileReads;
  return out;
}

Read readText(const std::string& text) {
  return readOne({.bytes = bytesOf(buildMsgFile({.text = text}))});
}

struct TextCase {
  const char* name;
  std::string text;
  std::string control;  // the Squish control information with the same keys
};

TEST(MsgFile, KludgeLinesGiveTheKeysOfTheSameSquishControlInformation) {
  const std::string noKeys;
  const TextCase cases[] = {
      {"CR", msgId + "\r" + reply + "\rbody\r", msgId + reply},
      {"CR LF", msgId + "\r\n" + reply + "\r\nbody\r\n", msgId + reply},
      {"LF", msgId + "\n" + reply + "\nbody\n", msgId + reply},
      {"LF CR", msgId + "\n\r" + reply + "\n\rbody", msgId + reply},
      {"empty lines between", msgId + "\r\r\n\n" + reply + "\r\rbody", msgId + reply},
      {"line ends before the first kludge", "\r\n\r" + msgId + "\r" + reply + "\r", msgId + reply},
      {"AREA: line first", "AREA:FIDO\r" + msgId + "\r" + reply + "\r", msgId + reply},
      {"AREA: line between", msgId + "\rAREA:FIDO\r" + reply + "\r", msgId + reply},
      {"tab after the colon", "\x01MSGID:\t2:5020/1 0000000a\r" + reply + "\r", msgId + reply},
      {"no NUL: the text ends with the file", msgId + "\r" + reply, msgId + reply},
      {"NUL right after the last kludge", msgId + "\r" + reply + std::string(1, '\0') + "x",
       msgId + reply},
      {"a partly matched name ends with its line", "\x01M\r" + msgId + "\r", msgId},
      {"MSGID only after the body", "body\r" + msgId + "\r" + reply + "\r", noKeys},
      {"REPLY after the body", msgId + "\rbody\r" + reply + "\r", msgId},
      {"a line of another kind ends the block", msgId + "\rAREAS\r" + reply + "\r", msgId},
      {"a lower-case area line ends it", msgId + "\rarea:FIDO\r" + reply + "\r", msgId},
      {"a blank ends it", msgId + "\r \r" + reply + "\r", msgId},
      {"NUL before the kludges", std::string(1, '\0') + msgId + "\r", noKeys},
      {"NUL inside the block", msgId + "\r" + std::string(1, '\0') + reply + "\r", msgId},
      {"no text at all", "", noKeys},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Read read = readText(c.text);
    ASSERT_EQ(read.read.state, MsgFileState::message);
    const Keys expected = squishKeys(c.control);
    EXPECT_EQ(shown(read.keys.msgId), shown(expected.msgId));
    EXPECT_EQ(shown(read.keys.reply), shown(expected.reply));
  }
}

// A long kludge line pushes the lines after it across the end of the first
// read step at every offset near it: the keys stay, an "AREA:" line cut by
// the step still continues the block, and a line that only begins like one
// still ends it.
TEST(MsgFile, ReadStepsCutTheTextAnywhereWithTheSameKeys) {
  const Keys both = squishKeys(msgId + reply);
  const Keys none = squishKeys("");
  for (std::size_t pad = 3860; pad < 3920; ++pad) {
    SCOPED_TRACE(pad);
    const std::string path = "\x01PATH: " + std::string(pad, 'x') + "\r";
    const Read area = readText(path + "AREA:FIDO\r" + msgId + "\r" + reply + "\rbody\r");
    EXPECT_EQ(shown(area.keys.msgId), shown(both.msgId));
    EXPECT_EQ(shown(area.keys.reply), shown(both.reply));
    const Read areas = readText(path + "AREAS\r" + msgId + "\r" + reply + "\rbody\r");
    EXPECT_EQ(shown(areas.keys.msgId), shown(none.msgId));
    const Read plain = readText(path + msgId + "\r\n" + reply + "\r\n");
    EXPECT_EQ(shown(plain.keys.msgId), shown(both.msgId));
    EXPECT_EQ(shown(plain.keys.reply), shown(both.reply));
  }
}

TEST(MsgFile, ALongTextCostsOneReadAndKludgesBelowAreNotLookedFor) {
  std::string body;
  while (body.size() < 100 * 1024) body += "A line of text in a long message.\r";
  const Read read = readText(msgId + "\r" + reply + "\r" + body + "\x01" + "Via: 2:5020/1\r");
  EXPECT_EQ(read.reads, 1u);
  EXPECT_EQ(shown(read.keys.reply), shown(squishKeys(reply).reply));
  // Kludge lines that fill more than one step are read on to their end.
  std::string many;
  for (int i = 0; i < 400; ++i) many += "\x01SEEN: 2:5020/" + std::to_string(i) + "\r";
  const Read longBlock = readText(many + msgId + "\r" + body);
  EXPECT_GT(longBlock.reads, 1u);
  EXPECT_EQ(shown(longBlock.keys.msgId), shown(squishKeys(msgId).msgId));
}

struct StateCase {
  const char* name;
  MemoryMsgFile file;
  MsgFileState state;
};

TEST(MsgFile, ChecksDecideWhetherAFileTakesPart) {
  const std::string whole = buildMsgFile({.text = msgText({msgIdKludge(1)})});
  MsgFileSpec smapi{.from = "-=|smapi internal|=-"};
  MsgFileSpec longer{.from = "-=|smapi internal|=-!"};
  MsgFileSpec crashMail{.from = "CrashMail II", .subject = "HighWater mark"};
  MsgFileSpec crashMailMessage{.from = "CrashMail II", .subject = "HighWater marks"};
  // Bytes after the NUL of the from field do not matter.
  std::string afterNul = buildMsgFile(smapi);
  afterNul[30] = 'x';
  const StateCase cases[] = {
      {"a message", {.bytes = bytesOf(whole)}, MsgFileState::message},
      {"a header alone", {.bytes = bytesOf(whole.substr(0, 190))}, MsgFileState::message},
      {"one byte short", {.bytes = bytesOf(whole.substr(0, 189))}, MsgFileState::shortFile},
      {"empty", {}, MsgFileState::shortFile},
      {"not regular", {.kind = MsgFileKind::notRegular}, MsgFileState::notRegular},
      {"a second name", {.kind = MsgFileKind::hardLink}, MsgFileState::hardLink},
      {"gone", {.kind = MsgFileKind::gone}, MsgFileState::gone},
      {"no permission", {.kind = MsgFileKind::failed, .openError = EACCES},
       MsgFileState::cannotOpen},
      {"read error", {.bytes = bytesOf(whole), .readError = EIO}, MsgFileState::readError},
      {"message API highwater", {.bytes = bytesOf(buildMsgFile(smapi))}, MsgFileState::highwater},
      {"highwater, bytes after its NUL", {.bytes = bytesOf(afterNul)}, MsgFileState::highwater},
      {"a longer from", {.bytes = bytesOf(buildMsgFile(longer))}, MsgFileState::message},
      {"Maximus highwater", {.bytes = bytesOf(buildMsgFile({.from = "-=|\x7FSquishMail\x7F|=-"}))},
       MsgFileState::highwater},
      {"CrashMail highwater", {.bytes = bytesOf(buildMsgFile(crashMail))}, MsgFileState::highwater},
      {"CrashMail's own message", {.bytes = bytesOf(buildMsgFile(crashMailMessage))},
       MsgFileState::message},
  };
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Read read = readOne(c.file);
    EXPECT_EQ(read.read.state, c.state);
    if (c.state == MsgFileState::cannotOpen) {
      EXPECT_EQ(read.read.error, EACCES);
    }
  }
}

TEST(MsgFile, LinkFieldsAndSubjectAreReadFromTheHeader) {
  const Read read = readOne(
      {.bytes = bytesOf(buildMsgFile({.subject = "Re: Topic", .replyTo = 0x1234, .up = 0xFEDC}))});
  EXPECT_EQ(read.read.links.replyTo, 0x1234);
  EXPECT_EQ(read.read.links.up, 0xFEDC);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.read.subject)), "Re: Topic");
}

}  // namespace
}  // namespace ktest
