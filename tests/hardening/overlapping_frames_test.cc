// Index entries that make frames overlap: one pointing into another
// message's text (where four signature bytes pass the frame check), two
// pointing at one frame, or a msg_length reaching over the next frame. Each
// is a damaged base for every link type and for knotter-dump --check, and
// nothing is written; a gap or free frame between listed frames is not.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/link_notation.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace ktest {
namespace {

constexpr std::size_t frameAndHeader = 28 + 238;
constexpr std::size_t plantedAfter = 5;  // bytes of text before the planted frame header

// A frame header with the right id and nothing else, as text of a message.
std::string plantedFrameHeader() {
  std::string header(28, '\0');
  putU32(header, 0, 0xAFAE4453);
  return header;
}

// Three messages in one thread; the first one's text holds a frame header.
BaseSpec threadWithPlantedHeader() {
  BaseSpec layout = threeMessageThread();
  layout.messages[0].body = "text " + plantedFrameHeader() + " more text\r";
  for (MessageSpec& message : layout.messages) message.body += "body\r";
  return layout;
}

std::uint32_t plantedOfs(const BaseSpec& layout, const BuiltBase& built) {
  return built.frameOffsets[0] + static_cast<std::uint32_t>(frameAndHeader +
                                                             layout.messages[0].control.size() +
                                                             plantedAfter);
}

std::vector<std::string> badFrame(std::uint32_t umsgid, std::uint32_t ofs) {
  char detail[80];
  std::snprintf(detail, sizeof detail, "! Bad frame for message with umsgid=%u at offset 0x%08X",
                umsgid, ofs);
  return {"! Message base of T is damaged", detail};
}

struct OverlapCase {
  const char* name;
  // Damages the built base; returns the report, empty when it stays clean.
  std::function<std::vector<std::string>(BuiltBase&)> damage;
};

const BaseSpec layout = threadWithPlantedHeader();

const OverlapCase overlapCases[] = {
    {"entry inside another message's text",
     [](BuiltBase& b) {
       const std::uint32_t planted = plantedOfs(layout, b);
       putU32(b.sqi, 2 * 12, planted);
       return badFrame(3, planted);
     }},
    {"two entries for one frame",
     [](BuiltBase& b) {
       putU32(b.sqi, 2 * 12, b.frameOffsets[1]);
       return badFrame(3, b.frameOffsets[1]);
     }},
    {"msg_length one byte over the next frame",
     [](BuiltBase& b) {
       putU32(b.sqd, b.frameOffsets[0] + 16, getU32(b.sqd, b.frameOffsets[0] + 16) + 1);
       return badFrame(2, b.frameOffsets[1]);
     }},
    {"msg_length 0xFFFFFFFF",
     [](BuiltBase& b) {
       putU32(b.sqd, b.frameOffsets[0] + 16, 0xFFFFFFFF);
       return badFrame(2, b.frameOffsets[1]);
     }},
    {"msg_length 0, next entry inside the message header",
     [](BuiltBase& b) {
       // The frame still holds its whole message header, where its links
       // are written: a frame planted in its subject overlaps it.
       const std::uint32_t planted = b.frameOffsets[0] + 28 + 76;
       b.sqd.replace(planted, 28, plantedFrameHeader());
       putU32(b.sqd, b.frameOffsets[0] + 16, 0);
       putU32(b.sqi, 2 * 12, planted);
       return badFrame(3, planted);
     }},
    {"msg_length short of the next frame, index in reverse",
     [](BuiltBase& b) {
       putU32(b.sqd, b.frameOffsets[0] + 16, getU32(b.sqd, b.frameOffsets[0] + 16) - 1);
       std::string reversed;
       for (int entry = 2; entry >= 0; --entry) reversed += b.sqi.substr(12 * entry, 12);
       b.sqi = reversed;
       return std::vector<std::string>{};
     }},
};

std::string consoleReport(const std::vector<std::string>& report) {
  std::string text = "\r";
  for (const std::string& line : report) text += line + "\n";
  return text;
}

TEST(OverlappingFrames, AreDamageForEveryLinkTypeAndTheInspector) {
  for (const OverlapCase& c : overlapCases) {
    SCOPED_TRACE(c.name);
    BuiltBase built = buildBase(layout);
    const std::vector<std::string> report = c.damage(built);
    for (const char* type : {"-tt", "-tf", "-tr", "-ts"}) {
      SCOPED_TRACE(type);
      TempDir dir;
      writeFile(sqd(dir.file("T")), built.sqd);
      writeFile(sqi(dir.file("T")), built.sqi);
      writeFile(dir.file("areas.cfg"), "LogLevel 9\nEchoArea T T\n");
      const RunResult run = runKnotter({type, "areas.cfg"}, dir.path());
      if (report.empty()) {
        EXPECT_EQ(run.out, banner + "Linking areas\nLinking T: 3 of 3\n");
        continue;
      }
      EXPECT_EQ(run.exitCode, 0);
      EXPECT_EQ(run.out, banner + "Linking areas\nLinking T" + consoleReport(report));
      EXPECT_TRUE(readFile(sqd(dir.file("T"))) == built.sqd);
    }
    TempDir dir;
    writeFile(sqd(dir.file("T")), built.sqd);
    writeFile(sqi(dir.file("T")), built.sqi);
    const DumpResult check = runDump({"--check", "T"}, dir.path());
    EXPECT_EQ(check.exitCode, report.empty() ? 0 : 1);
    EXPECT_EQ(splitLines(check.out),
              report.empty() ? std::vector<std::string>{"T: 3 messages, no damage found"} : report);
  }
}

// The listing names the overlap at the entry that begins inside the text.
TEST(OverlappingFrames, ListingMarksTheOverlappingEntry) {
  BuiltBase built = buildBase(layout);
  const std::uint32_t planted = plantedOfs(layout, built);
  putU32(built.sqi, 2 * 12, planted);
  TempDir dir;
  writeFile(sqd(dir.file("T")), built.sqd);
  writeFile(sqi(dir.file("T")), built.sqi);
  char line[64];
  std::snprintf(line, sizeof line, "2 umsgid=3 ofs=0x%08X damage=overlapping-frame", planted);

  const DumpResult result = runDump({"T"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  const std::vector<std::string> lines = splitLines(result.out);
  ASSERT_GE(lines.size(), 4u) << result.out;
  EXPECT_EQ(lines[3], line);
}

// A listed message missing from the index leaves a gap, and a free frame,
// between the frames that stay listed: that is no damage.
TEST(OverlappingFrames, GapsAndFreeFramesStayValid) {
  BaseSpec gapped = layout;
  gapped.messages[1].frameType = 1;
  gapped.indexOrder = {0, 2};
  gapped.highMsg = 2;
  for (const char* type : {"-tt", "-tf", "-tr", "-ts"}) {
    SCOPED_TRACE(type);
    TempDir dir;
    writeBase(gapped, dir.file("T"));
    const RunResult run = runKnotter({type, "-#T"}, dir.path());
    EXPECT_EQ(run.out, banner + "Linking areas\nLinking T: 2 of 2\n");
    EXPECT_EQ(describeLinks(dir.file("T")), "1: 0 / 3; 3: 1 / -");
  }
}

}  // namespace
}  // namespace ktest
