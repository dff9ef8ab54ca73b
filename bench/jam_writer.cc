#include "jam_writer.h"

#include <unistd.h>

#include <algorithm>
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
// these bases.
//   Header block, 1024 bytes: Signature "JAM\0" 0, DateCreated 4,
//   ModCounter 8, ActiveMsgs 12, PasswordCRC 16, BaseMsgNum 20.
//   Message header, 76 bytes: Signature 0, Revision 4 (2), ReservedWord 6 (2),
//   SubfieldLen 8, TimesRead 12, MsgIdCRC 16, ReplyCRC 20, ReplyTo 24,
//   Reply1st 28, ReplyNext 32, DateWritten 36, DateReceived 40,
//   DateProcessed 44, MsgNum 48, Attribute 52, Attribute2 56, TxtOffset 60,
//   TxtLen 64, PasswordCRC 68, Cost 72.
//   Subfield: LoID 0 (2), HiID 2 (2), DatLen 4, data 8.
//   Index record, 8 bytes: UserCRC 0, HdrOffset 4.
constexpr std::size_t blockSize = 1024;
constexpr std::size_t headerSize = 76;
constexpr std::uint32_t echomail = 0x01000000;
constexpr std::uint16_t loOAddress = 0;
constexpr std::uint16_t loSenderName = 2;
constexpr std::uint16_t loReceiverName = 3;
constexpr std::uint16_t loMsgId = 4;
constexpr std::uint16_t loReplyId = 5;
constexpr std::uint16_t loSubject = 6;
constexpr std::uint16_t loFtsKludge = 2000;

void addSubfield(std::vector<std::uint8_t>& out, std::uint16_t loId, std::string_view data) {
  std::uint8_t head[8] = {};
  put16(head, loId);
  put32(head + 4, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), head, head + sizeof head);
  out.insert(out.end(), data.begin(), data.end());
}

// The kludges of the control information as subfields, in their order.
void addKludges(std::vector<std::uint8_t>& out, std::string_view control) {
  while (!control.empty()) {
    const std::size_t end = control.find('\x01', 1);
    std::string_view kludge = control.substr(0, end);
    control.remove_prefix(end == std::string_view::npos ? control.size() : end);
    if (!kludge.empty() && kludge[0] == '\x01') kludge.remove_prefix(1);
    while (!kludge.empty() && kludge.back() == '\0') kludge.remove_suffix(1);
    if (kludge.starts_with("MSGID: ")) {
      addSubfield(out, loMsgId, kludge.substr(7));
    } else if (kludge.starts_with("REPLY: ")) {
      addSubfield(out, loReplyId, kludge.substr(7));
    } else if (!kludge.empty()) {
      addSubfield(out, loFtsKludge, kludge);
    }
  }
}

void composeSubfields(const ComposedMessage& message, std::vector<std::uint8_t>& out) {
  out.clear();
  char address[32];
  std::snprintf(address, sizeof address, "%u:%u/%u.%u", message.orig.zone, message.orig.net,
                message.orig.node, message.orig.point);
  addSubfield(out, loOAddress, address);
  addSubfield(out, loSenderName, message.from);
  addSubfield(out, loReceiverName, message.to);
  addKludges(out, message.control);
  addSubfield(out, loSubject, message.subject);
}

void putHeader(std::uint8_t* header, std::uint32_t subfieldLen, std::uint32_t number,
               std::uint32_t written, std::uint32_t textOffset, std::uint32_t textLength) {
  std::memset(header, 0, headerSize);
  std::memcpy(header, "JAM", 4);
  put16(header + 4, 1);
  put32(header + 8, subfieldLen);
  put32(header + 16, 0xFFFFFFFF);
  put32(header + 20, 0xFFFFFFFF);
  put32(header + 36, written);
  put32(header + 40, written + 30 + number % 600);
  put32(header + 48, number);
  put32(header + 52, echomail);
  put32(header + 60, textOffset);
  put32(header + 64, textLength);
  put32(header + 68, 0xFFFFFFFF);
}

struct JamFiles {
  OutputFile headers;
  OutputFile index;
  OutputFile text;
};

void noteSizes(BaseStats& stats, const ComposedMessage& message) {
  stats.controlMin = std::min(stats.controlMin, message.control.size());
  stats.controlMax = std::max(stats.controlMax, message.control.size());
  stats.bodyMin = std::min(stats.bodyMin, message.body.size());
  stats.bodyMax = std::max(stats.bodyMax, message.body.size());
}

bool writeMessages(const AreaPlan& plan, JamFiles& files, BaseStats& stats) {
  const auto count = static_cast<std::uint32_t>(plan.messages.size());
  Random clock = messageRandom(plan.seed, 0xC10C);
  std::uint32_t now = 1704067200;  // 2024-01-01 00:00:00
  std::uint64_t at = blockSize;
  std::uint64_t textAt = 0;
  ComposedMessage message;
  std::vector<std::uint8_t> subfields;
  for (std::uint32_t i = 0; i < count; ++i) {
    composeMessage(plan, i, message);
    composeSubfields(message, subfields);
    noteSizes(stats, message);
    now += 1 + randomBelow(clock, 120);
    std::uint8_t header[headerSize];
    putHeader(header, static_cast<std::uint32_t>(subfields.size()), i + 1, now,
              static_cast<std::uint32_t>(textAt), static_cast<std::uint32_t>(message.body.size()));
    std::uint8_t record[8];
    put32(record, 0);
    put32(record + 4, static_cast<std::uint32_t>(at));
    if (!append(files.headers, header, headerSize) ||
        !append(files.headers, subfields.data(), subfields.size()) ||
        !append(files.index, record, sizeof record) ||
        !append(files.text, message.body.data(), message.body.size())) {
      return false;
    }
    at += headerSize + subfields.size();
    textAt += message.body.size();
    if (at > 0xFFFFFFFFULL || textAt > 0xFFFFFFFFULL) {
      std::fprintf(stderr, "knotter-make-base: a file would exceed 4 GiB\n");
      return false;
    }
  }
  stats.dataSize = at;
  return true;
}

}  // namespace

bool writeJamBase(const AreaPlan& plan, const std::string& basePath, BaseStats& stats) {
  const std::string headerPath = basePath + ".jhr";
  const std::string indexPath = basePath + ".jdx";
  const std::string textPath = basePath + ".jdt";
  JamFiles files;
  if (!openOutput(files.headers, headerPath.c_str()) ||
      !openOutput(files.index, indexPath.c_str()) || !openOutput(files.text, textPath.c_str())) {
    return false;
  }
  std::uint8_t block[blockSize] = {};
  std::memcpy(block, "JAM", 4);
  put32(block + 4, 1704067200);
  put32(block + 12, static_cast<std::uint32_t>(plan.messages.size()));
  put32(block + 16, 0xFFFFFFFF);
  put32(block + 20, 1);
  return append(files.headers, block, sizeof block) && writeMessages(plan, files, stats) &&
         flushOutput(files.headers) && flushOutput(files.index) && flushOutput(files.text);
}

}  // namespace knotter::bench
