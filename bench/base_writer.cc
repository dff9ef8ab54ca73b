#include "base_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "message_text.h"
#include "output_file.h"

namespace knotter::bench {
namespace {

// The layout is written out here as plain numbers rather than shared with
// the tool, so that a wrong offset in either shows up when the tool runs on
// these bases.
//   SQBASE, 256 bytes: len 0 (2), num_msg 4, high_msg 8, skip_msg 12,
//   high_water 16, uid 20, base 24 (80), begin_frame 104, last_frame 108,
//   free_frame 112, last_free_frame 116, end_frame 120, max_msg 124,
//   keep_days 128 (2), sz_sqhdr 130 (2).
//   SQHDR, 28 bytes: id 0, next_frame 4, prev_frame 8, frame_length 12,
//   msg_length 16, clen 20, frame_type 24 (2), reserved 26 (2).
//   XMSG, 238 bytes: attr 0, from 4 (36), to 40 (36), subj 76 (72),
//   orig 148 and dest 156 (zone, net, node, point: 2 each), date_written 164,
//   date_arrived 168, utc_ofs 172 (2), replyto 174, replies 178 (9 x 4),
//   umsgid 214, ftsc date 218 (20).
//   SQIDX, 12 bytes: ofs 0, umsgid 4, hash 8.
constexpr std::size_t baseHeaderSize = 256;
constexpr std::size_t frameHeaderSize = 28;
constexpr std::size_t messageHeaderSize = 238;
constexpr std::size_t indexEntrySize = 12;
constexpr std::uint32_t frameId = 0xAFAE4453;

// Copies text into a fixed field, cut so that a NUL always ends it.
void putText(std::uint8_t* at, std::size_t size, const std::string& text) {
  std::memcpy(at, text.data(), std::min(text.size(), size - 1));
}

void putAddress(std::uint8_t* at, const NodeAddress& address) {
  put16(at, address.zone);
  put16(at + 2, address.net);
  put16(at + 4, address.node);
  put16(at + 6, address.point);
}

// The index's hash of the to-name, as readers use it to find personal mail.
std::uint32_t nameHash(const std::string& name) {
  std::uint32_t hash = 0;
  for (const char c : name) {
    hash = (hash << 4) + static_cast<std::uint32_t>(std::tolower(static_cast<unsigned char>(c)));
    const std::uint32_t high = hash & 0xF0000000U;
    if (high != 0) hash |= (high >> 24) | high;
  }
  return hash & 0x7FFFFFFFU;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = days / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
}

// Writes a time as the header's packed DOS date and time (date first) and,
// for date_written, as the text date.
void putStamp(std::uint8_t* header, std::size_t at, std::int64_t seconds, bool withText) {
  int year = 0;
  int month = 0;
  int day = 0;
  civilFromDays(seconds / 86400, year, month, day);
  const auto second = static_cast<int>(seconds % 86400);
  const int hour = second / 3600;
  const int minute = second / 60 % 60;
  put16(header + at, static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day));
  put16(header + at + 2,
        static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second % 60 / 2)));
  if (!withText) return;
  static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[24];
  std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02d", day, months[month - 1],
                year % 100, hour, minute, second % 60);
  std::memcpy(header + 218, text, 19);
}

struct FramePlace {
  std::uint32_t ofs = 0;
  std::uint32_t prev = 0;
  bool last = false;
};

// Lays out frame header and message header of one message into frame.
void buildHeaders(std::vector<std::uint8_t>& frame, const ComposedMessage& message,
                  const FramePlace& place, std::uint32_t umsgid, std::int64_t written) {
  frame.assign(frameHeaderSize + messageHeaderSize, 0);
  const auto clen = static_cast<std::uint32_t>(message.control.size());
  const auto msgLength = static_cast<std::uint32_t>(messageHeaderSize + clen + message.body.size());
  const std::uint32_t frameLength = msgLength;
  std::uint8_t* sqhdr = frame.data();
  put32(sqhdr + 0, frameId);
  put32(sqhdr + 4,
        place.last ? 0 : place.ofs + static_cast<std::uint32_t>(frameHeaderSize) + frameLength);
  put32(sqhdr + 8, place.prev);
  put32(sqhdr + 12, frameLength);
  put32(sqhdr + 16, msgLength);
  put32(sqhdr + 20, clen);
  std::uint8_t* xmsg = sqhdr + frameHeaderSize;
  put32(xmsg + 0, message.attributes);
  putText(xmsg + 4, 36, message.from);
  putText(xmsg + 40, 36, message.to);
  putText(xmsg + 76, 72, message.subject);
  putAddress(xmsg + 148, message.orig);
  putAddress(xmsg + 156, message.dest);
  putStamp(xmsg, 164, written, true);
  putStamp(xmsg, 168, written + 30 + umsgid % 600, false);
  put32(xmsg + 214, umsgid);
}

void noteSizes(BaseStats& stats, const ComposedMessage& message) {
  stats.controlMin = std::min(stats.controlMin, message.control.size());
  stats.controlMax = std::max(stats.controlMax, message.control.size());
  stats.bodyMin = std::min(stats.bodyMin, message.body.size());
  stats.bodyMax = std::max(stats.bodyMax, message.body.size());
}

void putBaseHeader(std::uint8_t* header, std::uint32_t count, std::uint32_t lastFrame,
                   std::uint32_t endFrame) {
  std::memset(header, 0, baseHeaderSize);
  put16(header + 0, baseHeaderSize);
  put32(header + 4, count);
  put32(header + 8, count);
  put32(header + 20, count + 1);
  put32(header + 104, count > 0 ? static_cast<std::uint32_t>(baseHeaderSize) : 0);
  put32(header + 108, lastFrame);
  put32(header + 120, endFrame);
  put16(header + 130, frameHeaderSize);
}

bool writeFrames(const AreaPlan& plan, OutputFile& data, std::vector<std::uint8_t>& index,
                 BaseStats& stats, std::uint32_t& lastFrame) {
  const auto count = static_cast<std::uint32_t>(plan.messages.size());
  Random clock = messageRandom(plan.seed, 0xC10C);
  std::int64_t now = 19723LL * 86400;  // 2024-01-01 00:00:00
  ComposedMessage message;
  std::vector<std::uint8_t> frame;
  FramePlace place{static_cast<std::uint32_t>(baseHeaderSize), 0, false};
  for (std::uint32_t i = 0; i < count; ++i) {
    composeMessage(plan, i, message);
    noteSizes(stats, message);
    now += 1 + randomBelow(clock, 120);
    place.last = i + 1 == count;
    buildHeaders(frame, message, place, i + 1, now);
    if (!append(data, frame.data(), frame.size()) ||
        !append(data, message.control.data(), message.control.size()) ||
        !append(data, message.body.data(), message.body.size())) {
      return false;
    }
    std::uint8_t* entry = index.data() + std::size_t{i} * indexEntrySize;
    put32(entry + 0, place.ofs);
    put32(entry + 4, i + 1);
    put32(entry + 8, nameHash(message.to));
    lastFrame = place.ofs;
    place.prev = place.ofs;
    const std::uint64_t next =
        place.ofs + frame.size() + message.control.size() + message.body.size();
    if (next > 0xFFFFFFFFULL) {
      std::fprintf(stderr, "knotter-make-base: the data file would exceed 4 GiB\n");
      return false;
    }
    place.ofs = static_cast<std::uint32_t>(next);
  }
  stats.dataSize = place.ofs;
  return true;
}

}  // namespace

bool writeBase(const AreaPlan& plan, const std::string& basePath, BaseStats& stats) {
  const std::string dataPath = basePath + ".sqd";
  const std::string indexPath = basePath + ".sqi";
  OutputFile data;
  if (!openOutput(data, dataPath.c_str())) return false;
  std::uint8_t header[baseHeaderSize] = {};
  if (!append(data, header, sizeof header)) return false;  // filled in at the end
  std::vector<std::uint8_t> index(plan.messages.size() * indexEntrySize);
  std::uint32_t lastFrame = 0;
  stats.dataSize = baseHeaderSize;
  if (!writeFrames(plan, data, index, stats, lastFrame) || !flushOutput(data)) return false;

  const auto count = static_cast<std::uint32_t>(plan.messages.size());
  putBaseHeader(header, count, lastFrame, static_cast<std::uint32_t>(stats.dataSize));
  if (::pwrite(data.fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    return fail(data.path);
  }
  OutputFile indexFile;
  return openOutput(indexFile, indexPath.c_str()) &&
         append(indexFile, index.data(), index.size()) && flushOutput(indexFile);
}

}  // namespace knotter::bench
