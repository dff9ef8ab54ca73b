// End-to-end: the link type each configured area is linked with. LinkType,
// -t and the -$l flags decide it; which one won is read off two fixture bases
// whose results tell the four link types apart (reply_to_reply: TimEd, Flat or Reply,
// Subj; missing_original: TimEd or Flat, Reply or Subj).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/config_trace.h"
#include "support/files.h"
#include "support/link_notation.h"

namespace ktest {
namespace {

struct LinkResult {
  const char* replyToReply;
  const char* missingOriginal;
};

const LinkResult timEd{"10: 0 / 11 12; 11: 10 / 13; 12: 10 / -; 13: 11 / -",
                       "20: 0 / -; 21: 0 / -; 22: 0 / 23; 23: 22 / -"};
const LinkResult flat{"10: 0 / 11; 11: 10 / 13; 12: 13 / -; 13: 11 / 12",
                      "20: 0 / -; 21: 0 / -; 22: 0 / 23; 23: 22 / -"};
const LinkResult reply{"10: 0 / 11; 11: 10 / 13; 12: 13 / -; 13: 11 / 12",
                       "20: 0 / 21; 21: 20 / 22; 22: 21 / 23; 23: 22 / -"};
const LinkResult subj{"10: 0 / 11; 11: 10 / 12; 12: 11 / 13; 13: 12 / -",
                      "20: 0 / 21; 21: 20 / 22; 22: 21 / 23; 23: 22 / -"};

struct LinkTypeCase {
  const char* name;
  std::string before;  // configuration lines before the two area lines
  std::string flags;   // flags of both area lines
  std::string after;   // lines after them
  std::vector<std::string> args;
  LinkResult expected;
};

TEST(ConfigLinkTypes, LinkTypeOptionAndAreaFlags) {
  const LinkTypeCase cases[] = {
      {"default Reply", "", "", "", {}, reply},
      {"LinkType TimEd", "LinkType TimEd\n", "", "", {}, timEd},
      {"LinkType in lower case", "linktype flat\n", "", "", {}, flat},
      {"LinkType SUBJ", "LinkType SUBJ\n", "", "", {}, subj},
      {"the last LinkType wins", "LinkType Subj\nLinkType Reply\n", "", "", {}, reply},
      {"LinkType after the areas counts too", "", "", "LinkType TimEd\n", {}, timEd},
      {"-t wins over LinkType", "LinkType Subj\n", "", "", {"-tf"}, flat},
      {"-t alone", "", "", "", {"-tT"}, timEd},
      {"-$l1 is Reply, over -t", "", "-$l1", "", {"-tt"}, reply},
      {"-$l2 is Subj", "", "-$l2", "", {"-tf"}, subj},
      {"-$l3 is Flat", "LinkType Subj\n", "-$l3", "", {}, flat},
      {"-$l4 is TimEd", "", "-$l4", "", {}, timEd},
      {"the last -$l wins", "", "-$l2 -$l4", "", {}, timEd},
      {"-$l with LinkType none", "LinkType none\n", "-$l2", "", {}, subj},
      {"no own link type in HPT mode", "EchoAreaDefaults -b squish\n", "-$l2", "", {"-hpt"},
       reply},
  };
  for (const LinkTypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    copyFixture("reply_to_reply", dir.path());
    copyFixture("missing_original", dir.path());
    writeFile(dir.file("k.cfg"), c.before + "EchoArea EX1 reply_to_reply " + c.flags + "\nEchoArea EX2 missing_original " +
                                     c.flags + "\n" + c.after);
    std::vector<std::string> args{"k.cfg"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult result = runKnotter(args, dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(describeLinks(dir.file("reply_to_reply")), c.expected.replyToReply);
    EXPECT_EQ(describeLinks(dir.file("missing_original")), c.expected.missingOriginal);
  }
}

}  // namespace
}  // namespace ktest
