// Opening a JAM base and listing its headers through the linker core, run in
// this process on bases from the test builder: what is refused, with which
// report, in which order, and which headers the core is given to store.
#include "jam/jam_area.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "linker/kludge_scanner.h"
#include "linker/link_area.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

using Path = std::filesystem::path;

struct Listed {
  bool ok = false;
  std::string console;
  std::vector<std::string> headers;  // "number" or "number deleted", ascending offset
};

Listed listHere(const Path& base) {
  knotter::JamArea area;
  Listed result;
  testing::internal::CaptureStdout();
  if (knotter::openArea(base.c_str(), "area", knotter::OpenFor::linking, area)) {
    RecordingSink sink(*area.sink);
    result.ok = knotter::linkArea({knotter::LinkType::reply, "area", 15}, *area.source, sink).linked;
    for (const knotter::MessageRef& message : sink.visited) {
      const bool deleted = knotter::jamHeaderDeleted(area.base.mapping.bytes(), message.locator);
      result.headers.push_back(std::to_string(message.number) + (deleted ? " deleted" : ""));
    }
  }
  result.console = testing::internal::GetCapturedStdout();
  if (result.ok) {
    EXPECT_EQ(area.base.indexFile.fd, -1);
  }
  return result;
}

JamMessageSpec keyed(const std::string& id) {
  return {.subfields = {msgIdField("1:2/3 " + id), subjectField("About " + id)}};
}

// Three headers, numbers 1 to 3.
JamBaseSpec three() { return {.messages = {keyed("1"), keyed("2"), keyed("3")}}; }

void setIndexOffset(const Path& base, std::size_t position, std::uint32_t ofs) {
  setU32(jdx(base), 8 * position + 4, ofs);
}

struct Case {
  const char* name;
  JamBaseSpec layout;
  std::function<void(const Path&)> damage;
  std::string console;               // "" when listed
  std::vector<std::string> headers = {};  // when listed
};

const std::string damaged = "! Message base of area is damaged\n";
const std::string indexDamaged = "! Index file of area is damaged\n";
const std::string areaError = "! Error reading area. Area is possibly damaged\n";

class JamBaseListing : public testing::Test {
 protected:
  void SetUp() override {
    knotter::resetSettings();
    knotter::settings.logLevel = 9;  // detail lines on the console too
  }
  void TearDown() override { knotter::resetSettings(); }

  void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      TempDir dir;
      const Path base = dir.file("area");
      writeJamBase(c.layout, base);
      if (c.damage) c.damage(base);
      const std::string before = readFile(jhr(base));
      const Listed listed = listHere(base);
      EXPECT_EQ(listed.console, c.console);
      EXPECT_EQ(listed.ok, c.console.empty());
      if (listed.ok) {
        EXPECT_EQ(listed.headers, c.headers);
      }
      EXPECT_EQ(readFile(jhr(base)), before);
    }
  }
};

TEST_F(JamBaseListing, ListsReferencedHeadersByOffsetWithTheirNumbers) {
  JamBaseSpec gaps{.messages = {keyed("a"), {.hardDeleted = true}, {.deleted = true}, keyed("b")},
                   .baseMsgNum = 500};
  gaps.messages[3].msgNum = 7;
  JamBaseSpec foreignCrc{.messages = {keyed("a"), {.hardDeleted = true, .userCrc = 0x11}}};
  expectCases({
      {"gaps keep numbers; MsgNum not checked", gaps, {}, "",
       {"500", "502 deleted", "503"}},
      {"index in reverse offset order", three(),
       [](const Path& b) {
         const std::uint32_t first = jamHeaderOffset(b, 0);
         setIndexOffset(b, 0, jamHeaderOffset(b, 2));
         setIndexOffset(b, 2, first);
       },
       "", {"3", "2", "1"}},
      {"no header whatever UserCRC says", foreignCrc, {}, "", {"1"}},
      {"partial last record ignored", three(),
       [](const Path& b) { writeFile(jdx(b), readFile(jdx(b)) + std::string(5, '\x01')); }, "",
       {"1", "2", "3"}},
      {"empty index", three(), [](const Path& b) { writeFile(jdx(b), ""); }, "", {}},
      {"ActiveMsgs wrong", three(), [](const Path& b) { setU32(jhr(b), jamAt::activeMsgs, 9); },
       "", {"1", "2", "3"}},
      {"last number FFFFFFFF", JamBaseSpec{.messages = {keyed("a")}, .baseMsgNum = 0xFFFFFFFF},
       {}, "", {"4294967295"}},
      {"SubfieldLen 0", JamBaseSpec{.messages = {{}}}, {}, "", {"1"}},
      {"deleted header's subfields not walked", JamBaseSpec{.messages = {{.deleted = true}}},
       [](const Path& b) {
         std::string bytes = readFile(jhr(b));
         bytes += std::string(8, '\0');
         putU32(bytes, 1024 + 8, 8);
         putU32(bytes, 1024 + 76 + 4, 50);  // DatLen past SubfieldLen
         writeFile(jhr(b), bytes);
       },
       "", {"1 deleted"}},
  });
}

TEST_F(JamBaseListing, RefusesADamagedHeaderFileOrIndex) {
  expectCases({
      {"BaseMsgNum 0", JamBaseSpec{.messages = {keyed("a")}, .baseMsgNum = 0}, {}, damaged},
      {"header block short", JamBaseSpec{},
       [](const Path& b) { truncateFile(jhr(b), 1023); }, damaged},
      {"header block signature", three(), [](const Path& b) { setU32(jhr(b), 0, 0x004D414B); },
       damaged},
      {"numbers past 32 bits",
       JamBaseSpec{.messages = {keyed("a"), keyed("b")}, .baseMsgNum = 0xFFFFFFFF}, {},
       indexDamaged},
      {"HdrOffset inside the header block", three(),
       [](const Path& b) { setIndexOffset(b, 1, 1023); },
       indexDamaged + "! Offset 0x3FF of message No 1 is beyond the end of message base\n"},
      {"HdrOffset past size - 76, the first in index order wins", three(),
       [](const Path& b) {
         setIndexOffset(b, 1, static_cast<std::uint32_t>(readFile(jhr(b)).size() - 75));
         setIndexOffset(b, 2, 5);
       },
       indexDamaged + "! Offset 0x4F3 of message No 1 is beyond the end of message base\n"},
      {"two records, one header", three(),
       [](const Path& b) { setIndexOffset(b, 2, jamHeaderOffset(b, 0)); },
       indexDamaged + "! Offset 0x400 of message No 2 is beyond the end of message base\n"},
      {"fixed headers overlap", three(),
       [](const Path& b) { setIndexOffset(b, 2, jamHeaderOffset(b, 1) + 75); },
       indexDamaged + "! Offset 0x4B5 of message No 2 is beyond the end of message base\n"},
  });
}

TEST_F(JamBaseListing, RefusesADamagedHeaderInOffsetOrder) {
  expectCases({
      {"header signature", three(),
       [](const Path& b) { setJamHeaderU32(b, 1, jamAt::signature, 0x004D414A + 1); },
       damaged + "! Bad frame for message with umsgid=2 at offset 0x0000046A\n"},
      {"revision 2", three(),
       [](const Path& b) { setJamHeaderU32(b, 2, jamAt::revision, 2); },
       damaged + "! Bad frame for message with umsgid=3 at offset 0x000004D4\n"},
      {"SubfieldLen past the end of the file", three(),
       [](const Path& b) { setJamHeaderU32(b, 2, jamAt::subfieldLen, 1000); }, areaError},
      {"DatLen past SubfieldLen", three(),
       [](const Path& b) { setU32(jhr(b), jamHeaderOffset(b, 0) + 76 + 4, 20); }, areaError},
      {"a few bytes after the last subfield", three(),
       [](const Path& b) { setJamHeaderU32(b, 0, jamAt::subfieldLen, 30 + 3); }, areaError},
      {"header inside the subfields of the one before", three(),
       [](const Path& b) {
         setJamHeaderU32(b, 0, jamAt::attribute, 0x80000000);
         setJamHeaderU32(b, 0, jamAt::subfieldLen, 30 + 8);
       },
       damaged + "! Bad frame for message with umsgid=2 at offset 0x0000046A\n"},
      {"lower offset first, whatever the index order", three(),
       [](const Path& b) {
         setJamHeaderU32(b, 2, jamAt::signature, 0);
         setJamHeaderU32(b, 1, jamAt::subfieldLen, 1000);
         const std::uint32_t first = jamHeaderOffset(b, 0);
         setIndexOffset(b, 0, jamHeaderOffset(b, 1));
         setIndexOffset(b, 1, first);
       },
       areaError},
  });
}

TEST_F(JamBaseListing, ReportsFilesThatCannotBeOpenedOrRead) {
  TempDir dir;
  const Path base = dir.file("area");
  EXPECT_EQ(listHere(base).console, "! Cannot open file " + jhr(base).string() + " (2)\n");
  writeJamBase(three(), base);
  std::filesystem::remove(jdx(base));
  EXPECT_EQ(listHere(base).console, "! Cannot open file " + jdx(base).string() + " (2)\n");
  writeFile(jhr(base), "");
  EXPECT_EQ(listHere(base).console, "! Error reading file " + jhr(base).string() + "\n");
}

}  // namespace
}  // namespace ktest
