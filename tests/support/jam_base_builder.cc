#include "support/jam_base_builder.h"

#include <map>
#include <set>

#include "support/base_builder.h"
#include "support/files.h"

namespace ktest {
namespace {

// Sizes of the JAM records, written out here on purpose.
constexpr std::size_t headerBlockSize = 1024;
constexpr std::size_t fixedHeaderSize = 76;
constexpr std::uint32_t noHeader = 0xFFFFFFFF;

std::string subfieldBytes(const std::vector<JamSubfield>& subfields) {
  std::string bytes;
  for (const JamSubfield& field : subfields) {
    std::string head(8, '\0');
    putU16(head, 0, field.loId);
    putU32(head, 4, static_cast<std::uint32_t>(field.data.size()));
    bytes += head + field.data;
  }
  return bytes;
}

std::string headerBlock(const JamBaseSpec& layout, std::uint32_t active) {
  std::string block(headerBlockSize, '\0');
  block.replace(0, 4, "JAM\0", 4);
  putU32(block, 4, 1700000000);  // DateCreated
  putU32(block, 8, layout.modCounter);
  putU32(block, 12, active);
  putU32(block, 16, 0xFFFFFFFF);  // PasswordCRC: none
  putU32(block, 20, layout.baseMsgNum);
  return block;
}

std::string messageHeader(const JamMessageSpec& message, std::uint32_t number,
                          std::uint32_t textOffset, const std::string& subfields) {
  std::string header(fixedHeaderSize, '\0');
  header.replace(0, 4, "JAM\0", 4);
  putU16(header, 4, 1);  // Revision
  putU32(header, 8, static_cast<std::uint32_t>(subfields.size()));
  putU32(header, 16, 0xFFFFFFFF);  // MsgIdCRC
  putU32(header, 20, 0xFFFFFFFF);  // ReplyCRC
  putU32(header, 24, message.replyTo);
  putU32(header, 28, message.reply1st);
  putU32(header, 32, message.replyNext);
  putU32(header, 36, 1700000000);  // DateWritten
  putU32(header, 48, message.msgNum.value_or(number));
  putU32(header, 52, 0x01000000u | (message.deleted ? 0x80000000u : 0u));  // echomail
  putU32(header, 60, textOffset);
  putU32(header, 64, static_cast<std::uint32_t>(message.text.size()));
  putU32(header, 68, 0xFFFFFFFF);  // PasswordCRC
  return header + subfields;
}

std::string indexRecord(std::uint32_t userCrc, std::uint32_t hdrOffset) {
  std::string record(8, '\0');
  putU32(record, 0, userCrc);
  putU32(record, 4, hdrOffset);
  return record;
}

}  // namespace

JamSubfield msgIdField(const std::string& text) { return {4, text}; }
JamSubfield replyField(const std::string& text) { return {5, text}; }
JamSubfield subjectField(const std::string& text) { return {6, text}; }
JamSubfield ftsKludge(const std::string& text) { return {2000, text}; }

BuiltJamBase buildJamBase(const JamBaseSpec& layout) {
  BuiltJamBase built;
  std::uint32_t active = 0;
  std::string headers;
  for (std::size_t i = 0; i < layout.messages.size(); ++i) {
    const JamMessageSpec& message = layout.messages[i];
    if (message.hardDeleted) {
      built.headerOffsets.push_back(noHeader);
      built.jdx += indexRecord(message.userCrc.value_or(noHeader), noHeader);
      continue;
    }
    const auto at = static_cast<std::uint32_t>(headerBlockSize + headers.size());
    built.headerOffsets.push_back(at);
    built.jdx += indexRecord(message.userCrc.value_or(0x1234ABCD), at);
    const auto number = static_cast<std::uint32_t>(layout.baseMsgNum + i);
    headers += messageHeader(message, number, static_cast<std::uint32_t>(built.jdt.size()),
                             subfieldBytes(message.subfields));
    built.jdt += message.text;
    ++active;
  }
  built.jhr = headerBlock(layout, layout.activeMsgs.value_or(active)) + headers;
  return built;
}

BuiltJamBase writeJamBase(const JamBaseSpec& layout, const std::filesystem::path& basePath,
                          bool withText) {
  BuiltJamBase built = buildJamBase(layout);
  writeFile(jhr(basePath), built.jhr);
  writeFile(jdx(basePath), built.jdx);
  if (withText) writeFile(jdt(basePath), built.jdt);
  return built;
}

std::filesystem::path jhr(const std::filesystem::path& basePath) {
  return basePath.string() + ".jhr";
}
std::filesystem::path jdx(const std::filesystem::path& basePath) {
  return basePath.string() + ".jdx";
}
std::filesystem::path jdt(const std::filesystem::path& basePath) {
  return basePath.string() + ".jdt";
}

std::uint32_t jamHeaderOffset(const std::filesystem::path& basePath, std::size_t position) {
  return getU32(readFile(jdx(basePath)), 8 * position + 4);
}

void setJamHeaderU32(const std::filesystem::path& basePath, std::size_t position,
                     std::size_t at, std::uint32_t value) {
  setU32(jhr(basePath), std::size_t{jamHeaderOffset(basePath, position)} + at, value);
}

JamLinks readJamLinks(const std::filesystem::path& basePath, std::size_t position) {
  const std::string headers = readFile(jhr(basePath));
  const std::size_t at = jamHeaderOffset(basePath, position);
  return {getU32(headers, at + 24), getU32(headers, at + 28), getU32(headers, at + 32)};
}

std::string describeJamLinks(const std::filesystem::path& basePath) {
  const std::string headers = readFile(jhr(basePath));
  const std::string index = readFile(jdx(basePath));
  const std::uint32_t base = getU32(headers, 20);
  std::string text;
  for (std::size_t i = 0; 8 * i + 8 <= index.size(); ++i) {
    if (getU32(index, 8 * i + 4) == noHeader) continue;
    const JamLinks links = readJamLinks(basePath, i);
    if (!text.empty()) text += "; ";
    text += std::to_string(base + i) + ": " + std::to_string(links.replyTo) + " " +
            std::to_string(links.reply1st) + " " + std::to_string(links.replyNext);
  }
  return text;
}

namespace {

// The links of every record with a header, by number.
std::map<std::uint32_t, JamLinks> allLinks(const std::filesystem::path& basePath) {
  const std::string index = readFile(jdx(basePath));
  const std::string headers = readFile(jhr(basePath));
  const std::uint32_t base = getU32(headers, 20);
  std::map<std::uint32_t, JamLinks> links;
  for (std::size_t i = 0; 8 * i + 8 <= index.size(); ++i) {
    const std::size_t at = getU32(index, 8 * i + 4);
    if (at == noHeader) continue;
    links[base + i] = {getU32(headers, at + 24), getU32(headers, at + 28), getU32(headers, at + 32)};
  }
  return links;
}

}  // namespace

std::string describeJamThreads(const std::filesystem::path& basePath) {
  const std::map<std::uint32_t, JamLinks> links = allLinks(basePath);
  std::string text;
  for (const auto& [number, own] : links) {
    if (!text.empty()) text += "; ";
    text += std::to_string(number) + ": " + std::to_string(own.replyTo) + " /";
    std::uint32_t reply = own.reply1st;
    if (reply == 0) text += " -";
    for (std::size_t steps = 0; reply != 0; ++steps) {
      if (steps > links.size()) {
        text += " ...";
        break;
      }
      text += " " + std::to_string(reply);
      const auto next = links.find(reply);
      reply = next == links.end() ? 0 : next->second.replyNext;
    }
  }
  return text;
}

bool jamLinksEnd(const std::filesystem::path& basePath) {
  const std::map<std::uint32_t, JamLinks> links = allLinks(basePath);
  const auto field = [&](std::uint32_t number, std::uint32_t JamLinks::*which) -> std::uint32_t {
    const auto found = links.find(number);
    return found == links.end() ? 0 : found->second.*which;
  };
  for (const auto& entry : links) {
    std::uint32_t at = entry.first;
    for (std::size_t steps = 0; at != 0; ++steps) {
      if (steps > links.size()) return false;
      at = field(at, &JamLinks::replyTo);
    }
    // Down Reply1st and along ReplyNext, as a reader recursing through a tree.
    std::set<std::uint32_t> seen;
    std::vector<std::uint32_t> open{field(entry.first, &JamLinks::reply1st)};
    while (!open.empty()) {
      const std::uint32_t number = open.back();
      open.pop_back();
      if (number == 0) continue;
      if (!seen.insert(number).second) return false;
      open.push_back(field(number, &JamLinks::reply1st));
      open.push_back(field(number, &JamLinks::replyNext));
    }
  }
  return true;
}

}  // namespace ktest
