#include "support/base_builder.h"

#include <algorithm>
#include <stdexcept>

#include "support/files.h"

namespace ktest {
namespace {

// Sizes and offsets of the Squish records, written out here on purpose.
constexpr std::size_t baseHeaderSize = 256;
constexpr std::size_t frameHeaderSize = 28;
constexpr std::size_t xmsgSize = 238;
constexpr std::size_t indexEntrySize = 12;

void checkRange(const std::string& bytes, std::size_t at, std::size_t size) {
  if (at > bytes.size() || size > bytes.size() - at) {
    throw std::out_of_range("field beyond the end of the bytes");
  }
}

void putText(std::string& bytes, std::size_t at, const std::string& text,
             std::size_t limit) {
  // Fixed fields keep a terminating NUL, as a writer of the format does.
  std::size_t length = std::min(text.size(), limit - 1);
  bytes.replace(at, length, text, 0, length);
}

std::string frameHeader(const MessageSpec& message, std::uint32_t next,
                        std::uint32_t prev, std::uint32_t msgLength,
                        std::size_t szSqhdr) {
  std::string header(std::max(szSqhdr, frameHeaderSize), '\0');
  putU32(header, 0, 0xAFAE4453);
  putU32(header, 4, next);
  putU32(header, 8, prev);
  putU32(header, 12, msgLength);  // frame_length: no slack
  putU32(header, 16, msgLength);
  putU32(header, 20, static_cast<std::uint32_t>(message.control.size()));
  putU16(header, 24, message.frameType);
  header.resize(szSqhdr);
  return header;
}

std::string messageHeader(const MessageSpec& message) {
  std::string xmsg(xmsgSize, '\0');
  putText(xmsg, 4, message.from, 36);
  putText(xmsg, 40, message.to, 36);
  putText(xmsg, 76, message.subject, 72);
  putU16(xmsg, 148, 2);  // orig zone, net, node, point
  putU16(xmsg, 150, 5020);
  putU16(xmsg, 156, 2);  // dest
  putU16(xmsg, 158, 5020);
  putU32(xmsg, 174, message.replyto);
  for (std::size_t k = 0; k < 9; ++k) {
    putU32(xmsg, 178 + 4 * k, message.replies[k]);
  }
  putU32(xmsg, 214, message.headerUmsgid.value_or(message.umsgid));
  putText(xmsg, 218, "01 Jan 24  00:00:00", 20);
  return xmsg;
}

std::uint32_t messageLength(const MessageSpec& message) {
  return static_cast<std::uint32_t>(xmsgSize + message.control.size() +
                                    message.body.size());
}

void fillBaseHeader(std::string& sqd, const BaseSpec& layout,
                    const std::vector<std::uint32_t>& offsets) {
  std::uint32_t count = static_cast<std::uint32_t>(layout.messages.size());
  std::uint32_t highest = 0;
  for (const MessageSpec& message : layout.messages) {
    highest = std::max(highest, message.umsgid);
  }
  putU16(sqd, 0, static_cast<std::uint16_t>(baseHeaderSize));
  putU32(sqd, 4, count);                                // num_msg
  putU32(sqd, 8, layout.highMsg.value_or(count));         // high_msg
  putU32(sqd, 20, highest + 1);                         // uid
  putText(sqd, 24, "testbase", 80);                     // base
  putU32(sqd, 104, offsets.empty() ? 256 : offsets.front());  // begin_frame
  putU32(sqd, 108, offsets.empty() ? 0 : offsets.back());     // last_frame
  putU32(sqd, 120, static_cast<std::uint32_t>(sqd.size()));   // end_frame
  putU16(sqd, 130, layout.szSqhdr);                             // sz_sqhdr
}

std::string buildIndex(const BaseSpec& layout, const std::vector<std::uint32_t>& offsets) {
  std::vector<std::size_t> order = layout.indexOrder;
  if (order.empty()) {
    for (std::size_t i = 0; i < layout.messages.size(); ++i) order.push_back(i);
  }
  std::string sqi;
  for (std::size_t which : order) {
    std::string entry(indexEntrySize, '\0');
    putU32(entry, 0, offsets.at(which));
    putU32(entry, 4, layout.messages.at(which).umsgid);
    sqi += entry;
  }
  for (std::size_t i = 0; i < layout.staleEntries; ++i) {
    std::string entry(indexEntrySize, '\xff');
    putU32(entry, 0, 0);
    sqi += entry;
  }
  return sqi;
}

}  // namespace

BuiltBase buildBase(const BaseSpec& layout) {
  if (layout.szSqhdr < 24) throw std::invalid_argument("sz_sqhdr below 24");
  BuiltBase built;
  std::uint32_t at = baseHeaderSize;
  for (const MessageSpec& message : layout.messages) {
    built.frameOffsets.push_back(at);
    at += layout.szSqhdr + messageLength(message);
  }
  built.sqd.assign(baseHeaderSize, '\0');
  const std::vector<std::uint32_t>& offsets = built.frameOffsets;
  for (std::size_t i = 0; i < layout.messages.size(); ++i) {
    const MessageSpec& message = layout.messages[i];
    std::uint32_t next = i + 1 < offsets.size() ? offsets[i + 1] : 0;
    std::uint32_t prev = i > 0 ? offsets[i - 1] : 0;
    built.sqd += frameHeader(message, next, prev, messageLength(message), layout.szSqhdr);
    built.sqd += messageHeader(message);
    built.sqd += message.control;
    built.sqd += message.body;
  }
  fillBaseHeader(built.sqd, layout, offsets);
  built.sqi = buildIndex(layout, offsets);
  return built;
}

BuiltBase writeBase(const BaseSpec& layout, const std::filesystem::path& basePath) {
  BuiltBase built = buildBase(layout);
  writeFile(sqd(basePath), built.sqd);
  writeFile(sqi(basePath), built.sqi);
  return built;
}

std::filesystem::path sqd(const std::filesystem::path& basePath) {
  return basePath.string() + ".sqd";
}

std::filesystem::path sqi(const std::filesystem::path& basePath) {
  return basePath.string() + ".sqi";
}

std::uint32_t getU32(const std::string& bytes, std::size_t at) {
  checkRange(bytes, at, 4);
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

std::uint16_t getU16(const std::string& bytes, std::size_t at) {
  checkRange(bytes, at, 2);
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  checkRange(bytes, at, 4);
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
  }
}

void putU16(std::string& bytes, std::size_t at, std::uint16_t value) {
  checkRange(bytes, at, 2);
  bytes[at] = static_cast<char>(value & 0xff);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void setU32(const std::filesystem::path& file, std::size_t at, std::uint32_t value) {
  std::string bytes = readFile(file);
  putU32(bytes, at, value);
  writeFile(file, bytes);
}

void setU16(const std::filesystem::path& file, std::size_t at, std::uint16_t value) {
  std::string bytes = readFile(file);
  putU16(bytes, at, value);
  writeFile(file, bytes);
}

void truncateFile(const std::filesystem::path& file, std::size_t size) {
  std::filesystem::resize_file(file, size);
}

IndexEntry readIndexEntry(const std::filesystem::path& basePath, std::size_t position) {
  std::string index = readFile(sqi(basePath));
  std::size_t at = indexEntrySize * position;
  return {getU32(index, at), getU32(index, at + 4), getU32(index, at + 8)};
}

ReplyFields readReplyFields(const std::filesystem::path& basePath, std::size_t position) {
  std::string data = readFile(sqd(basePath));
  std::size_t header = std::size_t{readIndexEntry(basePath, position).ofs} + getU16(data, 130);
  ReplyFields fields;
  fields.replyto = getU32(data, header + 174);
  for (std::size_t k = 0; k < 9; ++k) {
    fields.replies[k] = getU32(data, header + 178 + 4 * k);
  }
  return fields;
}

std::string withoutReplyFields(const std::filesystem::path& basePath) {
  std::string data = readFile(sqd(basePath));
  std::uint32_t count = getU32(data, 8);
  for (std::size_t position = 0; position < count; ++position) {
    std::size_t header = std::size_t{readIndexEntry(basePath, position).ofs} + getU16(data, 130);
    for (std::size_t k = 0; k < 10; ++k) putU32(data, header + 174 + 4 * k, 0);
  }
  return data;
}

BaseSpec threeMessageThread(std::optional<std::uint32_t> highMsg) {
  return {.messages = {{.umsgid = 1, .subject = "Hi", .control = "\x01MSGID: 2:5020/1 00000001"},
                       {.umsgid = 2,
                        .subject = "Re: Hi",
                        .control = "\x01MSGID: 2:5020/2 00000002\x01REPLY: 2:5020/1 00000001"},
                       {.umsgid = 3,
                        .subject = "Re: Hi",
                        .control = "\x01MSGID: 2:5020/3 00000003\x01REPLY: 2:5020/1 00000001"}},
          .highMsg = highMsg};
}

}  // namespace ktest
