#include "thread_tree.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "listing.h"

namespace knotter::dump {
namespace {

constexpr std::uint32_t none = 0xFFFFFFFF;
// A chain linked Flat or Reply is one long line of descent; past this depth
// the indent stops growing so that output stays linear in the base.
constexpr std::uint32_t maxIndentLevels = 32;

// The forest of a base by index position: each message's parent (none for a
// root) and its children in index order, stored as one array with offsets.
struct Forest {
  std::vector<std::uint32_t> parent;
  std::vector<std::uint32_t> childStart;  // children of m: [childStart[m], childStart[m + 1])
  std::vector<std::uint32_t> children;
  std::vector<bool> printed;
};

// The parent is the first readable message that carries the umsgid named by
// replyto; umsgids are meant to be unique, and the first one wins if not.
std::vector<std::uint32_t> findParents(const std::vector<MessageView>& messages) {
  std::unordered_map<std::uint32_t, std::uint32_t> byUmsgid;
  for (const MessageView& view : messages) {
    if (view.state == FrameState::ok) byUmsgid.emplace(view.umsgid, view.position);
  }
  std::vector<std::uint32_t> parent(messages.size(), none);
  for (const MessageView& view : messages) {
    if (view.state != FrameState::ok || view.replyto == 0) continue;
    if (const auto found = byUmsgid.find(view.replyto); found != byUmsgid.end()) {
      parent[view.position] = found->second;
    }
  }
  return parent;
}

Forest buildForest(const std::vector<MessageView>& messages) {
  Forest forest;
  const std::size_t count = messages.size();
  forest.parent = findParents(messages);
  forest.childStart.assign(count + 1, 0);
  for (std::uint32_t m = 0; m < count; ++m) {
    if (forest.parent[m] != none) ++forest.childStart[forest.parent[m] + 1];
  }
  for (std::size_t m = 0; m < count; ++m) forest.childStart[m + 1] += forest.childStart[m];
  forest.children.resize(forest.childStart[count]);
  std::vector<std::uint32_t> fill(forest.childStart.begin(), forest.childStart.end() - 1);
  for (std::uint32_t m = 0; m < count; ++m) {
    if (forest.parent[m] != none) forest.children[fill[forest.parent[m]]++] = m;
  }
  // Damaged messages take no part; marking them printed keeps them out.
  forest.printed.assign(count, false);
  for (std::uint32_t m = 0; m < count; ++m) {
    forest.printed[m] = messages[m].state != FrameState::ok;
  }
  return forest;
}

void printLine(std::FILE* out, const MessageView& view, std::uint32_t depth, const char* mark) {
  const std::uint32_t indent = depth < maxIndentLevels ? depth : maxIndentLevels;
  const std::string blanks(2 * indent, ' ');
  std::string deep;
  if (depth > maxIndentLevels) deep = "+" + std::to_string(depth) + " ";
  std::fprintf(out, "%s%s%u #%u subj=%s%s\n", blanks.c_str(), deep.c_str(),
               static_cast<unsigned>(view.umsgid), static_cast<unsigned>(view.position),
               quotedSubject(view).c_str(), mark);
}

// Prints the subtree of top depth-first, without recursion: a Flat chain of
// a big area is as deep as the area is long.
void printSubtree(std::FILE* out, const std::vector<MessageView>& messages, Forest& forest,
                  std::uint32_t top, const std::string& topMark) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack{{top, 0}};
  forest.printed[top] = true;
  while (!stack.empty()) {
    const auto [m, depth] = stack.back();
    stack.pop_back();
    printLine(out, messages[m], depth, m == top ? topMark.c_str() : "");
    // Pushed last to first, so that children come out in index order.
    for (std::uint32_t c = forest.childStart[m + 1]; c > forest.childStart[m]; --c) {
      const std::uint32_t child = forest.children[c - 1];
      if (forest.printed[child]) continue;  // the way back round a ring
      forest.printed[child] = true;
      stack.emplace_back(child, depth + 1);
    }
  }
}

// A message left over after every root's tree lies on a ring of replyto
// fields or below one. Climbing its parents must come round to a member of
// the ring, which is where that part of the forest is entered.
std::uint32_t ringMember(const Forest& forest, std::uint32_t start, std::vector<std::uint32_t>& seen,
                         std::uint32_t walk) {
  std::uint32_t m = start;
  while (seen[m] != walk) {
    seen[m] = walk;
    m = forest.parent[m];
  }
  return m;
}

}  // namespace

void printThreads(std::FILE* out, const BaseInspection& inspection) {
  const std::vector<MessageView>& messages = inspection.messages;
  Forest forest = buildForest(messages);
  for (std::uint32_t m = 0; m < messages.size(); ++m) {
    if (forest.printed[m] || forest.parent[m] != none) continue;
    const std::uint32_t replyto = messages[m].replyto;
    const std::string mark = replyto == 0 ? "" : " missing-parent=" + std::to_string(replyto);
    printSubtree(out, messages, forest, m, mark);
  }
  std::vector<std::uint32_t> seen(messages.size(), none);
  for (std::uint32_t m = 0; m < messages.size(); ++m) {
    if (forest.printed[m]) continue;
    printSubtree(out, messages, forest, ringMember(forest, m, seen, m), " cycle");
  }
}

}  // namespace knotter::dump
