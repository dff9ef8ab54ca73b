#include "msg_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "message_text.h"
#include "output_file.h"

namespace knotter::bench {
namespace {

// The layout is written out here as plain numbers rather than shared with
// the tool, so that a wrong offset in either shows up when the tool runs on
// these areas.
//   Header, 190 bytes: from 0 (36), to 36 (36), subject 72 (72), date 144
//   (20), timesRead 164, destNode 166, origNode 168, cost 170, origNet 172,
//   destNet 174, destZone 176, origZone 178, destPoint 180, origPoint 182,
//   replyTo 184, attribute 186, up 188 (2 each).
constexpr std::size_t headerSize = 190;

void putText(std::uint8_t* at, std::size_t size, std::string_view text) {
  std::memcpy(at, text.data(), std::min(text.size(), size - 1));
}

void putHeader(std::uint8_t* header, const ComposedMessage& message, std::uint32_t number) {
  std::memset(header, 0, headerSize);
  putText(header, 36, message.from);
  putText(header + 36, 36, message.to);
  putText(header + 72, 72, message.subject);
  static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char date[24];
  std::snprintf(date, sizeof date, "%02u %s 24  %02u:%02u:%02u", 1 + number % 28,
                months[number % 12], number / 3600 % 24, number / 60 % 60, number % 60);
  putText(header + 144, 20, date);
  put16(header + 166, message.dest.node);
  put16(header + 168, message.orig.node);
  put16(header + 172, message.orig.net);
  put16(header + 174, message.dest.net);
  put16(header + 176, message.dest.zone);
  put16(header + 178, message.orig.zone);
  put16(header + 180, message.dest.point);
  put16(header + 182, message.orig.point);
  put16(header + 186, message.attributes & 0xFFFF);
}

// The control information, SOH-separated, as lines: SOH, the kludge, CR.
void appendKludgeLines(std::vector<std::uint8_t>& out, std::string_view control) {
  while (!control.empty()) {
    const std::size_t end = control.find('\x01', 1);
    std::string_view kludge = control.substr(0, end);
    control.remove_prefix(end == std::string_view::npos ? control.size() : end);
    while (!kludge.empty() && kludge.back() == '\0') kludge.remove_suffix(1);
    if (kludge.size() <= 1) continue;
    out.insert(out.end(), kludge.begin(), kludge.end());
    out.push_back('\r');
  }
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return fail(path.c_str());
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  const int error = errno;
  ::close(fd);
  errno = error;
  return written || fail(path.c_str());
}

// 1.msg as the message API leaves it: its replyTo holds the highest number.
bool writeHighwater(const std::string& dir, std::uint32_t highest) {
  std::vector<std::uint8_t> bytes(headerSize + 1, 0);
  putText(bytes.data(), 36, "-=|smapi internal|=-");
  putText(bytes.data() + 72, 72, "High wadda' mark");
  put16(bytes.data() + 184, highest);
  return writeFile(dir + "/1.msg", bytes);
}

}  // namespace

bool writeMsgArea(const AreaPlan& plan, const std::string& dir, BaseStats& stats) {
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return fail(dir.c_str());
  const auto count = static_cast<std::uint32_t>(plan.messages.size());
  if (!writeHighwater(dir, count + 1)) return false;
  stats.dataSize = headerSize + 1;
  ComposedMessage message;
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t i = 0; i < count; ++i) {
    composeMessage(plan, i, message);
    stats.controlMin = std::min(stats.controlMin, message.control.size());
    stats.controlMax = std::max(stats.controlMax, message.control.size());
    stats.bodyMin = std::min(stats.bodyMin, message.body.size());
    stats.bodyMax = std::max(stats.bodyMax, message.body.size());
    bytes.assign(headerSize, 0);
    putHeader(bytes.data(), message, i + 2);
    appendKludgeLines(bytes, message.control);
    bytes.insert(bytes.end(), message.body.begin(), message.body.end());
    if (bytes.back() != 0) bytes.push_back(0);
    if (!writeFile(dir + "/" + std::to_string(i + 2) + ".msg", bytes)) return false;
    stats.dataSize += bytes.size();
  }
  return true;
}

}  // namespace knotter::bench
