// Subject linking in memory, without a base format: the keyed hash of its
// group table spreads subjects that all shared one bucket unkeyed, and the
// chains do not depend on the run key, also when many subjects share a
// bucket under it.
#include "linker/subject_linker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "linker/keyed_hash.h"
#include "linker/run_keys.h"
#include "support/memory_area.h"

namespace {

// Subjects of 15 characters with no reply prefix and no blank: each is its
// own normalised form at the default length.
std::string subjectOf(std::uint32_t i) {
  std::string subject = "Topic-000000000";
  for (std::size_t at = subject.size(); i != 0; i /= 36) {
    subject[--at] = "0123456789abcdefghijklmnopqrstuvwxyz"[i % 36];
  }
  return subject;
}

// The bucket of a subject among count, as the group table took it before it
// was keyed (FNV-1a over the length byte and the bytes), copied here.
std::uint64_t unkeyedBucket(const std::string& subject, std::uint64_t count) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  h = (h ^ subject.size()) * 0x100000001B3ULL;
  for (const char c : subject) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ULL;
  return (static_cast<std::uint32_t>(h ^ (h >> 32)) * count) >> 32;
}

// The bucket under the run key.
std::uint64_t keyedBucket(const std::string& subject, std::uint64_t count) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(subject.data());
  return ((knotter::keyedBytesHash(bytes, subject.size()) >> 32) * count) >> 32;
}

template <typename BucketOf>
std::vector<std::string> subjectsInOneBucket(std::size_t wanted, std::uint64_t count,
                                             BucketOf bucketOf) {
  std::vector<std::string> subjects;
  const std::uint64_t bucket = bucketOf(subjectOf(0), count);
  for (std::uint32_t i = 0; subjects.size() < wanted; ++i) {
    if (bucketOf(subjectOf(i), count) == bucket) subjects.push_back(subjectOf(i));
  }
  return subjects;
}

TEST(SubjectLinker, SubjectsThatSharedABucketUnkeyedSpreadOut) {
  constexpr std::uint64_t count = 100000;
  const std::vector<std::string> subjects = subjectsInOneBucket(200, count, unkeyedBucket);
  for (const std::uint64_t seed : {1, 2}) {
    SCOPED_TRACE(seed);
    const ktest::ScopedRunKey key(ktest::keyFromSeed(seed));
    std::map<std::uint64_t, int> load;
    for (const std::string& subject : subjects) ++load[keyedBucket(subject, count)];
    int most = 0;
    for (const auto& [bucket, n] : load) most = std::max(most, n);
    EXPECT_LE(most, 3);  // unkeyed, all 200 in one
  }
}

struct Chain {
  std::uint32_t replyTo;
  std::uint32_t firstReply;
  bool operator==(const Chain&) const = default;
};

// Links the subjects, in index order, through the core; the chains as
// index positions.
std::vector<Chain> linkSubjects(const std::vector<std::string>& subjects) {
  const auto count = static_cast<std::uint32_t>(subjects.size());
  std::vector<ktest::MemoryMessage> messages;
  for (std::uint32_t i = 0; i < count; ++i) {
    ktest::MemoryMessage m;
    m.locator = 100 * (i + 1);
    m.number = i + 1;
    m.subject = subjects[i].substr(0, 71);
    messages.push_back(m);
  }
  ktest::MemoryArea area(std::move(messages));
  EXPECT_TRUE(ktest::linkMemory(area, knotter::LinkType::subj, 15).linked);
  const auto positionOf = [](std::uint32_t number) { return number == 0 ? knotter::noSlot : number - 1; };
  std::vector<Chain> chains;
  for (const ktest::MemoryMessage& m : area.messages) {
    chains.push_back({positionOf(m.fields.replyTo), positionOf(m.fields.replies[0])});
  }
  return chains;
}

TEST(SubjectLinker, ChainsDoNotDependOnTheRunKey) {
  constexpr std::uint32_t count = 600;
  std::vector<std::string> crowded;
  {
    const ktest::ScopedRunKey key(ktest::keyFromSeed(1));
    crowded = subjectsInOneBucket(40, count, keyedBucket);
  }
  // Most messages take a crowded subject, some with a reply prefix; every
  // seventh has a subject of its own, every eleventh none.
  std::vector<std::string> subjects;
  std::vector<std::string> normalised;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string& subject = crowded[(i * 7) % crowded.size()];
    if (i % 11 == 0) {
      subjects.push_back(i % 2 == 0 ? "" : "Re: ");
      normalised.push_back("");
    } else if (i % 7 == 0) {
      subjects.push_back("Own " + std::to_string(i));
      normalised.push_back(subjects.back());
    } else {
      subjects.push_back(i % 3 == 0 ? "Re: " + subject : subject);
      normalised.push_back(subject);
    }
  }
  // Each message answers the one before it with the same subject.
  std::vector<Chain> expected(count, Chain{knotter::noSlot, knotter::noSlot});
  std::map<std::string, std::uint32_t> last;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto [at, first] = last.emplace(normalised[i], i);
    if (first) continue;
    expected[i].replyTo = at->second;
    expected[at->second].firstReply = i;
    at->second = i;
  }
  for (const std::uint64_t seed : {1, 2, 3}) {
    SCOPED_TRACE(seed);
    const ktest::ScopedRunKey key(ktest::keyFromSeed(seed));
    EXPECT_EQ(linkSubjects(subjects), expected);
  }
}

}  // namespace
