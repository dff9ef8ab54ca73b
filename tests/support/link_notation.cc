#include "support/link_notation.h"

#include <map>

#include "support/base_builder.h"
#include "support/files.h"

namespace ktest {
namespace {

std::string describeOne(std::uint32_t umsgid, const ReplyFields& fields) {
  std::string text = std::to_string(umsgid) + ": " + std::to_string(fields.replyto) + " /";
  std::size_t used = fields.replies.size();
  while (used > 0 && fields.replies[used - 1] == 0) --used;
  if (used == 0) return text + " -";
  for (std::size_t k = 0; k < used; ++k) text += " " + std::to_string(fields.replies[k]);
  return text;
}

std::string join(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  return text;
}

}  // namespace

std::string describeLinks(const std::filesystem::path& basePath) {
  std::uint32_t count = getU32(readFile(sqd(basePath)), 8);
  std::vector<std::string> parts;
  for (std::size_t position = 0; position < count; ++position) {
    parts.push_back(describeOne(readIndexEntry(basePath, position).umsgid,
                                readReplyFields(basePath, position)));
  }
  return join(parts);
}

std::string chainLinks(const std::vector<std::vector<std::uint32_t>>& chains) {
  std::map<std::uint32_t, ReplyFields> fields;
  for (const std::vector<std::uint32_t>& chain : chains) {
    for (std::size_t i = 0; i < chain.size(); ++i) {
      ReplyFields& own = fields[chain[i]];
      if (i > 0) own.replyto = chain[i - 1];
      if (i + 1 < chain.size()) own.replies[0] = chain[i + 1];
    }
  }
  std::vector<std::string> parts;
  for (const auto& [umsgid, own] : fields) parts.push_back(describeOne(umsgid, own));
  return join(parts);
}

}  // namespace ktest
