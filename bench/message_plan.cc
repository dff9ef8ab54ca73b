#include "message_plan.h"

namespace knotter::bench {

std::uint64_t nextRandom(Random& random) {
  std::uint64_t z = (random.state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint32_t randomBelow(Random& random, std::uint32_t bound) {
  return static_cast<std::uint32_t>(((nextRandom(random) >> 32) * bound) >> 32);
}

bool randomChance(Random& random, std::uint32_t perMille) {
  return randomBelow(random, 1000) < perMille;
}

Random messageRandom(std::uint64_t seed, std::uint64_t stream) {
  Random random{seed ^ (stream * 0xD1B54A32D192ED03ULL)};
  nextRandom(random);
  return random;
}

std::uint32_t mix32(std::uint32_t value) {
  // xor-shifts and odd multipliers are each invertible, so the whole is too.
  value ^= value >> 16;
  value *= 0x7FEB352DU;
  value ^= value >> 15;
  value *= 0x846CA68BU;
  value ^= value >> 16;
  return value;
}

namespace {

// A few people write most of the mail: low numbers come up more often.
std::uint32_t skewedPick(Random& random, std::uint32_t bound) {
  return randomBelow(random, randomBelow(random, bound) + 1);
}

IdForm pickForm(Random& random, bool allowNone) {
  const std::uint32_t roll = randomBelow(random, 1000);
  if (roll < 20) return IdForm::angle;
  if (allowNone && roll < 25) return IdForm::none;
  if (roll < 275) return IdForm::addressDomain;
  return IdForm::address;
}

// Most replies answer something recent; some dig out an old message.
std::uint32_t pickEarlier(Random& random, std::uint32_t index) {
  constexpr std::uint32_t recentWindow = 300;
  if (index > recentWindow && randomChance(random, 700)) {
    return index - 1 - randomBelow(random, recentWindow);
  }
  return randomBelow(random, index);
}

// Replies to a message that is not in the area: often several answer the
// same lost original, so half of them reuse a recent one.
std::uint32_t pickMissing(AreaPlan& plan, Random& random, std::uint32_t topicCount) {
  const auto known = static_cast<std::uint32_t>(plan.missing.size());
  if (known > 0 && randomChance(random, 500)) {
    const std::uint32_t reach = known < 50 ? known : 50;
    return known - 1 - randomBelow(random, reach);
  }
  plan.missing.push_back({skewedPick(random, authorCount),
                          static_cast<std::uint16_t>(skewedPick(random, topicCount)),
                          pickForm(random, false)});
  return known;
}

PlannedMessage planReply(AreaPlan& plan, Random& random, std::uint32_t index,
                         const PlanShape& shape, std::uint32_t hot) {
  PlannedMessage message;
  message.source = index;
  message.author = skewedPick(random, authorCount);
  message.form = pickForm(random, true);
  if (randomChance(random, shape.missingPerMille)) {
    const std::uint32_t lost = pickMissing(plan, random, shape.topicCount);
    message.parent = missingFlag | lost;
    message.topic = plan.missing[lost].topic;
    message.depth = 1;
    return message;
  }
  // A hot topic draws many direct answers, more than the nine reply slots.
  const bool toHot = hot != noParent && randomChance(random, 80);
  const std::uint32_t parent = toHot ? hot : pickEarlier(random, index);
  const PlannedMessage& answered = plan.messages[parent];
  message.parent = parent;
  message.topic = answered.topic;
  message.depth = answered.depth < 250 ? static_cast<std::uint8_t>(answered.depth + 1) : 250;
  return message;
}

PlannedMessage planOriginal(Random& random, std::uint32_t index, const PlanShape& shape) {
  PlannedMessage message;
  message.source = index;
  message.author = skewedPick(random, authorCount);
  message.topic = static_cast<std::uint16_t>(skewedPick(random, shape.topicCount));
  message.form = pickForm(random, true);
  return message;
}

}  // namespace

AreaPlan planArea(const PlanShape& shape, std::uint64_t seed) {
  AreaPlan plan;
  plan.seed = seed;
  plan.manyOrigins = shape.manyOrigins;
  plan.messages.reserve(shape.count);
  Random random{seed};
  std::uint32_t hot = noParent;
  for (std::uint32_t index = 0; index < shape.count; ++index) {
    if (index > 0 && randomChance(random, shape.dupesPerMille)) {
      // A dupe: the same message again, as a second feed delivers it.
      plan.messages.push_back(plan.messages[pickEarlier(random, index)]);
    } else if (index == 0 || randomChance(random, shape.originalsPerMille)) {
      plan.messages.push_back(planOriginal(random, index, shape));
      if (plan.messages.back().form != IdForm::none && randomChance(random, 50)) hot = index;
    } else {
      plan.messages.push_back(planReply(plan, random, index, shape, hot));
    }
  }
  return plan;
}

}  // namespace knotter::bench
