#include "support/msg_area_builder.h"

#include <cstdio>
#include <map>
#include <stdexcept>

#include "support/base_builder.h"
#include "support/files.h"

namespace ktest {
namespace {

void putText(std::string& bytes, std::size_t at, std::size_t size, const std::string& text) {
  if (text.size() > size) throw std::invalid_argument("text too long for its field");
  bytes.replace(at, text.size(), text);
}

std::string kludge(const char* name, std::uint32_t serial) {
  char text[48];
  std::snprintf(text, sizeof text, "%s: 2:5020/1 %08x", name, serial);
  return text;
}

}  // namespace

std::string msgText(const std::vector<std::string>& kludges, const std::string& body,
                    const std::string& lineEnd) {
  std::string text;
  for (const std::string& k : kludges) text += "\x01" + k + lineEnd;
  return text + body + std::string(1, '\0');
}

std::string msgIdKludge(std::uint32_t serial) { return kludge("MSGID", serial); }
std::string replyKludge(std::uint32_t serial) { return kludge("REPLY", serial); }

std::string buildMsgFile(const MsgFileSpec& spec) {
  std::string bytes(190, '\0');
  putText(bytes, 0, 36, spec.from);
  putText(bytes, 36, 36, spec.to);
  putText(bytes, 72, 72, spec.subject);
  putText(bytes, 144, 20, "01 Jan 24  00:00:00");
  putU16(bytes, 166, 1);   // destNode
  putU16(bytes, 168, 2);   // origNode
  putU16(bytes, 172, 5020);
  putU16(bytes, 174, 5020);
  putU16(bytes, msgAt::replyTo, spec.replyTo);
  putU16(bytes, msgAt::attribute, spec.attribute);
  putU16(bytes, msgAt::up, spec.up);
  return bytes + spec.text;
}

std::filesystem::path writeMsgFile(const std::filesystem::path& dir, const std::string& name,
                                   const MsgFileSpec& spec) {
  const std::filesystem::path path = dir / name;
  writeFile(path, buildMsgFile(spec));
  return path;
}

MsgLinks readMsgLinks(const std::filesystem::path& file) {
  const std::string bytes = readFile(file);
  return {getU16(bytes, msgAt::replyTo), getU16(bytes, msgAt::up)};
}

std::string describeMsgLinks(const std::filesystem::path& dir,
                             const std::vector<std::uint32_t>& numbers) {
  std::map<std::uint32_t, MsgLinks> sorted;
  for (const std::uint32_t n : numbers) {
    sorted[n] = readMsgLinks(dir / (std::to_string(n) + ".msg"));
  }
  std::string text;
  for (const auto& [n, links] : sorted) {
    if (!text.empty()) text += "; ";
    text += std::to_string(n) + ": " + std::to_string(links.replyTo) + " " +
            std::to_string(links.up);
  }
  return text;
}

bool msgLinksEnd(const std::filesystem::path& dir, const std::vector<std::uint32_t>& numbers) {
  std::map<std::uint32_t, MsgLinks> all;
  for (const std::uint32_t n : numbers) all[n] = readMsgLinks(dir / (std::to_string(n) + ".msg"));
  for (const bool up : {false, true}) {
    for (const auto& entry : all) {
      std::uint32_t at = entry.first;
      for (std::size_t steps = 0; all.count(at) != 0; ++steps) {
        if (steps > all.size()) return false;
        at = up ? all[at].up : all[at].replyTo;
      }
    }
  }
  return true;
}

}  // namespace ktest
