// The shape of a synthetic echo area: who writes each message, which earlier
// message (or which message that is not in the area) it answers, and in which
// form it carries its MSGID. Everything follows from the seed alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text_pools.h"

namespace knotter::bench {

// Deterministic generator (splitmix64); the same seed gives the same base on
// every platform, which std:: distributions do not promise.
struct Random {
  std::uint64_t state = 0;
};

std::uint64_t nextRandom(Random& random);
// A value in [0, bound); bound must be positive.
std::uint32_t randomBelow(Random& random, std::uint32_t bound);
// True with the given chance in thousandths.
bool randomChance(Random& random, std::uint32_t perMille);
// A fresh stream for one message, independent of the order of the calls.
Random messageRandom(std::uint64_t seed, std::uint64_t stream);
// A bijection on 32 bits: distinct inputs give distinct serial numbers.
std::uint32_t mix32(std::uint32_t value);

// How a message carries its MSGID.
enum class IdForm : std::uint8_t {
  none,           // no MSGID kludge at all
  address,        // 2:5020/400 6a1b2c3d
  addressDomain,  // 2:5020/400@fidonet 6a1b2c3d
  angle,          // <local@domain>, as gated mail carries it
};

// A message that replies to one that is not in the area (expired or never
// received) points at one of these.
struct MissingOriginal {
  std::uint32_t author = 0;
  std::uint16_t topic = 0;
  IdForm form = IdForm::address;
};

constexpr std::uint32_t noParent = 0xFFFFFFFF;
constexpr std::uint32_t missingFlag = 0x80000000;  // parent names a MissingOriginal

// One message of the area, in index order.
struct PlannedMessage {
  std::uint32_t parent = noParent;  // index of the message answered, or missingFlag | number
  std::uint32_t source = 0;         // index whose MSGID and text it carries (itself, or a dupe's)
  std::uint32_t author = 0;
  std::uint16_t topic = 0;
  std::uint8_t depth = 0;  // replies between it and the start of its thread
  IdForm form = IdForm::address;
};

struct AreaPlan {
  std::uint64_t seed = 0;
  bool manyOrigins = false;  // see PlanShape
  // When not empty, each MSGID (and each REPLY that quotes it) takes its
  // origin address from here, drawn by its serial, and each topic its
  // subject.
  std::vector<NodeAddress> originPool;
  std::vector<std::string> subjectPool;
  std::vector<PlannedMessage> messages;
  std::vector<MissingOriginal> missing;
};

// Tunables of the shape; the rates are in thousandths.
struct PlanShape {
  std::uint32_t count = 0;
  std::uint32_t originalsPerMille = 333;
  std::uint32_t missingPerMille = 60;  // of the replies: answer a message not in the area
  std::uint32_t dupesPerMille = 3;     // a second copy of a recent message
  std::uint32_t topicCount = 0;        // distinct subjects, 1 to topicTotal(); 0 picks topic 0 only
  // Each MSGID carries an origin address of its own instead of its author's,
  // as in a base fed by a large gateway: nearly every origin text is distinct.
  bool manyOrigins = false;
};

constexpr std::uint32_t authorCount = 200;

// Plans count messages from seed.
AreaPlan planArea(const PlanShape& shape, std::uint64_t seed);

}  // namespace knotter::bench
