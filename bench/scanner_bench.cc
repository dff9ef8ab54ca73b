// knotter-scanner-bench: times the kludge scanner alone over the control
// information of a generated area (the same texts knotter-make-base writes),
// packed back to back as in a data file. Prints the min, median and max
// nanoseconds per message over the rounds, and a checksum of the keys so that
// two builds of the scanner can be checked for equal results. With -j each
// message is fed in pieces, as kludges kept as records are: "SOH MSGID: " and
// its value, and so on.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "linker/kludge_scanner.h"
#include "message_plan.h"
#include "message_text.h"
#include "text_pools.h"

namespace {

struct Controls {
  std::string bytes;                // every message's control information
  std::vector<std::size_t> starts;  // one per message, and the end
  std::vector<std::size_t> cuts;    // with -j: where the pieces end, per message
};

// At each SOH and after the name that follows it; the last cut is the end.
void cutAtKludges(const std::string& control, std::size_t offset, std::vector<std::size_t>& cuts) {
  const auto cutAt = [&](std::size_t at) {
    if (cuts.empty() || cuts.back() < offset + at) cuts.push_back(offset + at);
  };
  for (std::size_t i = 0; i < control.size(); ++i) {
    if (i > 0 && control[i] == '\x01') cutAt(i);
    if (control.compare(i, 8, "\x01MSGID: ") == 0 || control.compare(i, 8, "\x01REPLY: ") == 0) {
      cutAt(i + 8);
    }
  }
  if (!control.empty()) cutAt(control.size());
}

Controls composeControls(std::uint32_t count, std::uint64_t seed) {
  knotter::bench::PlanShape shape;
  shape.count = count;
  shape.topicCount = knotter::bench::topicTotal();
  const knotter::bench::AreaPlan plan = knotter::bench::planArea(shape, seed);
  Controls controls;
  knotter::bench::ComposedMessage message;
  for (std::uint32_t i = 0; i < count; ++i) {
    knotter::bench::composeMessage(plan, i, message);
    controls.starts.push_back(controls.bytes.size());
    cutAtKludges(message.control, controls.bytes.size(), controls.cuts);
    controls.bytes += message.control;
  }
  controls.starts.push_back(controls.bytes.size());
  return controls;
}

double now() {
  timespec stamp{};
  ::clock_gettime(CLOCK_MONOTONIC, &stamp);
  return static_cast<double>(stamp.tv_sec) + static_cast<double>(stamp.tv_nsec) * 1e-9;
}

// Cheap enough not to weigh on the timing; sees every byte of the key.
std::uint64_t fold(std::uint64_t sum, const knotter::MsgIdKey& key) {
  std::uint64_t words[3];
  std::memcpy(words, key.text, sizeof words);
  return (sum * 31 + key.number) * 31 + (words[0] ^ (words[1] * 3) ^ (words[2] * 5));
}

// One pass over every message; returns a checksum of the keys.
std::uint32_t scanAll(const Controls& controls, std::uint32_t tagHash, bool pieces) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(controls.bytes.data());
  std::uint64_t sum = 0;
  knotter::MsgIdKey msgId;
  knotter::MsgIdKey reply;
  std::size_t cut = 0;
  for (std::size_t i = 0; i + 1 < controls.starts.size(); ++i) {
    const std::size_t end = controls.starts[i + 1];
    if (!pieces) {
      knotter::scanKludges(msgId, reply, base + controls.starts[i], base + end, tagHash);
    } else {
      knotter::KludgeScan scan;
      knotter::startKludgeScan(scan, msgId, reply, tagHash);
      for (std::size_t from = controls.starts[i]; from < end; from = controls.cuts[cut++]) {
        knotter::feedKludgeScan(scan, base + from, base + controls.cuts[cut]);
      }
      knotter::finishKludgeScan(scan);
    }
    sum = fold(fold(sum, msgId), reply);
  }
  return static_cast<std::uint32_t>(sum ^ (sum >> 32));
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long count = 100000;
  unsigned long rounds = 21;
  bool pieces = false;
  int option = 0;
  while ((option = ::getopt(argc, argv, "n:r:j")) != -1) {
    if (option == 'n') count = std::strtoul(optarg, nullptr, 10);
    else if (option == 'r') rounds = std::strtoul(optarg, nullptr, 10);
    else if (option == 'j') pieces = true;
    else {
      std::fputs("Usage: knotter-scanner-bench [-n messages] [-r rounds] [-j]\n", stderr);
      return 2;
    }
  }
  if (count == 0 || rounds == 0) return 2;
  const Controls controls = composeControls(static_cast<std::uint32_t>(count), 1);
  const std::uint32_t tagHash = knotter::MsgIdHash("BENCH.AREA");

  std::vector<double> perMessage;
  std::uint32_t checksum = scanAll(controls, tagHash, pieces);  // warms the caches
  for (unsigned long round = 0; round < rounds; ++round) {
    const double start = now();
    if (scanAll(controls, tagHash, pieces) != checksum) return 1;
    perMessage.push_back((now() - start) * 1e9 / static_cast<double>(count));
  }
  std::sort(perMessage.begin(), perMessage.end());
  std::printf("%lu messages, %zu control bytes, checksum %08x: ns/message min %.1f median %.1f max %.1f\n",
              count, controls.bytes.size(), checksum, perMessage.front(),
              perMessage[perMessage.size() / 2], perMessage.back());
  return 0;
}
