// A compact text form of a base's reply-chain fields, so that tests compare
// whole bases in one readable line: "10: 0 / 11 12; 11: 10 / -" lists, in
// index order, each message's umsgid, replyto and replies (up to the last
// non-zero slot; "-" when all are 0).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ktest {

// The fields of the first high_msg messages of basePath, in index order.
std::string describeLinks(const std::filesystem::path& basePath);

// The text for messages that form linear chains (each chain in order; a
// chain of one is a message without links), listed by ascending umsgid.
std::string chainLinks(const std::vector<std::vector<std::uint32_t>>& chains);

}  // namespace ktest
