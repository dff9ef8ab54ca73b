#include "listing.h"

#include <cstring>

#include "damage_check.h"

namespace knotter::dump {

std::string keyText(const MsgIdKey& key) {
  const std::size_t length = ::strnlen(key.text, sizeof key.text);
  if (key.number == 0 && length == 0) return "-";
  char number[16];
  std::snprintf(number, sizeof number, ",%08x", key.number);
  return quoted(std::string_view(key.text, length)) + number;
}

std::string slotsText(std::span<const std::uint32_t> slots) {
  std::size_t used = slots.size();
  while (used > 0 && slots[used - 1] == 0) --used;
  if (used == 0) return "-";
  std::string text;
  for (std::size_t k = 0; k < used; ++k) {
    if (k > 0) text += ',';
    text += std::to_string(slots[k]);
  }
  return text;
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    }
  }
  return out + '"';
}

std::string quotedSubject(const MessageView& view) {
  return quoted(std::string_view(reinterpret_cast<const char*>(view.subject), view.subjectLength));
}

void printHeaderLine(std::FILE* out, const DumpOptions& options, const BaseInspection& inspection) {
  if (inspection.jam) {
    std::fprintf(out, "base=%s tag=%s format=jam base_msg_num=%u mod_counter=%u size=%llu\n",
                 quoted(options.basePath).c_str(), quoted(options.areaTag).c_str(),
                 static_cast<unsigned>(inspection.baseMsgNum),
                 static_cast<unsigned>(inspection.modCounter),
                 static_cast<unsigned long long>(inspection.dataSize));
    return;
  }
  const BaseHeader& header = inspection.header;
  std::fprintf(out, "base=%s tag=%s high_msg=%d end_frame=0x%08X sz_sqhdr=%u size=%llu\n",
               quoted(options.basePath).c_str(), quoted(options.areaTag).c_str(),
               static_cast<int>(header.highMsg), static_cast<unsigned>(header.endFrame),
               static_cast<unsigned>(header.szSqhdr),
               static_cast<unsigned long long>(inspection.dataSize));
}

// The JAM form of a message line: its number for the umsgid and the three
// reply fields for the Squish ones.
void printJamLine(std::FILE* out, const MessageView& view) {
  std::fprintf(out, "%u number=%u", static_cast<unsigned>(view.position),
               static_cast<unsigned>(view.umsgid));
  if (view.state == FrameState::noHeader) {
    std::fputs(" no-header\n", out);
    return;
  }
  std::fprintf(out, " ofs=0x%08X", static_cast<unsigned>(view.ofs));
  if (view.state != FrameState::ok) {
    std::fprintf(out, " damage=%s\n", damageName(view.state));
    return;
  }
  std::fprintf(out, " msgid=%s reply=%s replyto=%u reply1st=%u replynext=%u subj=%s%s\n",
               keyText(view.msgId).c_str(), keyText(view.reply).c_str(),
               static_cast<unsigned>(view.replyto), static_cast<unsigned>(view.replies[0]),
               static_cast<unsigned>(view.replyNext), quotedSubject(view).c_str(),
               view.deleted ? " deleted" : "");
}

void printMessageLines(std::FILE* out, const BaseInspection& inspection) {
  for (const MessageView& view : inspection.messages) {
    if (inspection.jam) {
      printJamLine(out, view);
      continue;
    }
    std::fprintf(out, "%u umsgid=%u ofs=0x%08X", static_cast<unsigned>(view.position),
                 static_cast<unsigned>(view.umsgid), static_cast<unsigned>(view.ofs));
    if (view.state != FrameState::ok) {
      std::fprintf(out, " damage=%s\n", damageName(view.state));
      continue;
    }
    std::fprintf(out, " msgid=%s reply=%s replyto=%u replies=%s subj=%s\n",
                 keyText(view.msgId).c_str(), keyText(view.reply).c_str(),
                 static_cast<unsigned>(view.replyto), slotsText(view.replies).c_str(),
                 quotedSubject(view).c_str());
  }
}

}  // namespace knotter::dump
