// knotter-make-base: writes a synthetic, unlinked Squish (JAM, *.MSG) base shaped like real
// echomail (threads of various depth, replies to originals that are not in
// the base, a few dupes, some gated angle-bracket MSGIDs, Russian subjects),
// the same bytes for the same options on every run. It can also draw the
// origins and subjects from pools that the tool's old, unkeyed hashes put
// into one slot or bucket, for the colliding workloads.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base_writer.h"
#include "colliding_texts.h"
#include "jam_writer.h"
#include "message_plan.h"
#include "msg_writer.h"
#include "text_pools.h"

namespace {

constexpr const char* usageText =
    "Usage: knotter-make-base [-n count] [-s seed] [-r originals] [-m missing] [-t topics] [-o]\n"
    "                         [-O origins] [-S subjects] [-c] [-j | -M] <base>\n"
    "  Writes <base>.sqd and <base>.sqi, unlinked.\n"
    "  -j            a JAM base instead: <base>.jhr, <base>.jdx and <base>.jdt\n"
    "  -M            a *.MSG area instead: the directory <base>, 1.msg the highwater mark,\n"
    "                the messages from 2.msg (count at most 65534)\n"
    "  -n count      messages (default 1000)\n"
    "  -s seed       any number; the same seed gives the same base (default 1)\n"
    "  -r originals  messages that start a thread, in thousandths (default 333)\n"
    "  -m missing    replies to messages not in the base, in thousandths of the replies (default "
    "60)\n"
    "  -t topics     distinct subjects to draw from (default: all of them)\n"
    "  -o            many origins: nearly every MSGID carries its own origin address\n"
    "  -O origins    every MSGID takes its origin address from a pool of this many\n"
    "  -S subjects   every topic takes its subject from a pool of this many (at most 65535)\n"
    "  -c            the pools collide under the tool's old, unkeyed hashes: the origin\n"
    "                texts in one slot of its table, the subjects in one bucket for -n\n";

constexpr unsigned long maxCount = 5000000;  // keeps the data file well below 4 GiB

bool readNumber(const char* text, unsigned long limit, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return *text != '\0' && *end == '\0' && value <= limit;
}

enum class Kind { squish, jam, msg };

// Sizes of the pools of -O and -S (0: none), and -c.
struct Pools {
  std::uint32_t origins = 0;
  std::uint32_t subjects = 0;
  bool colliding = false;
};

bool readOptions(int argc, char** argv, knotter::bench::PlanShape& shape, std::uint64_t& seed,
                 Pools& pools, Kind& kind) {
  unsigned long value = 0;
  int option = 0;
  while ((option = ::getopt(argc, argv, "n:s:r:m:t:oO:S:cjM")) != -1) {
    switch (option) {
      case 'n':
        if (!readNumber(optarg, maxCount, value)) return false;
        shape.count = static_cast<std::uint32_t>(value);
        break;
      case 's':
        seed = std::strtoull(optarg, nullptr, 10);
        break;
      case 'r':
        if (!readNumber(optarg, 1000, value)) return false;
        shape.originalsPerMille = static_cast<std::uint32_t>(value);
        break;
      case 'm':
        if (!readNumber(optarg, 1000, value)) return false;
        shape.missingPerMille = static_cast<std::uint32_t>(value);
        break;
      case 't':
        if (!readNumber(optarg, knotter::bench::topicTotal(), value) || value == 0) return false;
        shape.topicCount = static_cast<std::uint32_t>(value);
        break;
      case 'o':
        shape.manyOrigins = true;
        break;
      case 'O':
        if (!readNumber(optarg, maxCount, value) || value == 0) return false;
        pools.origins = static_cast<std::uint32_t>(value);
        break;
      case 'S':
        if (!readNumber(optarg, 65535, value) || value == 0) return false;
        pools.subjects = static_cast<std::uint32_t>(value);
        break;
      case 'c':
        pools.colliding = true;
        break;
      case 'j':
        kind = Kind::jam;
        break;
      case 'M':
        kind = Kind::msg;
        break;
      default:
        return false;
    }
  }
  return optind + 1 == argc && (kind != Kind::msg || shape.count <= knotter::bench::maxMsgMessages);
}

}  // namespace

int main(int argc, char** argv) {
  knotter::bench::PlanShape shape;
  shape.count = 1000;
  std::uint64_t seed = 1;
  Kind kind = Kind::squish;
  Pools pools;
  if (!readOptions(argc, argv, shape, seed, pools, kind)) {
    std::fputs(usageText, stderr);
    return 2;
  }
  if (shape.topicCount == 0) shape.topicCount = knotter::bench::topicTotal();
  if (pools.subjects > 0) shape.topicCount = pools.subjects;
  const std::string basePath = argv[optind];

  knotter::bench::AreaPlan plan = knotter::bench::planArea(shape, seed);
  if (pools.origins > 0) plan.originPool = knotter::bench::originPool(pools.origins, pools.colliding);
  if (pools.subjects > 0) {
    plan.subjectPool = knotter::bench::subjectPool(pools.subjects, pools.colliding, shape.count);
  }
  knotter::bench::BaseStats stats;
  const bool written = kind == Kind::jam   ? knotter::bench::writeJamBase(plan, basePath, stats)
                       : kind == Kind::msg ? knotter::bench::writeMsgArea(plan, basePath, stats)
                                           : knotter::bench::writeBase(plan, basePath, stats);
  if (!written) return 1;
  std::printf("%s: %u messages, %llu bytes; control information %zu..%zu, text %zu..%zu bytes\n",
              basePath.c_str(), shape.count, static_cast<unsigned long long>(stats.dataSize),
              shape.count > 0 ? stats.controlMin : 0, stats.controlMax,
              shape.count > 0 ? stats.bodyMin : 0, stats.bodyMax);
  return 0;
}
