// The raw material of synthetic echomail: people and their node addresses,
// subjects (some Russian, in code page 866), sentences and program names.
#pragma once

#include <cstdint>
#include <string>

namespace knotter::bench {

struct NodeAddress {
  std::uint16_t zone = 0;
  std::uint16_t net = 0;
  std::uint16_t node = 0;
  std::uint16_t point = 0;
};

// The author's full name and first name; author is below authorCount.
const std::string& authorName(std::uint32_t author);
const std::string& authorFirstName(std::uint32_t author);
NodeAddress authorAddress(std::uint32_t author);
// The domain an author's gateway puts into angle-bracket MSGIDs.
const char* authorMailDomain(std::uint32_t author);
// The program the author writes with (PID kludge and tear line).
const char* authorEditor(std::uint32_t author);
// "zone:net/node" and ".point" when there is one, appended to out.
void appendAddress(std::string& out, const NodeAddress& address);

// Number of distinct subjects; topic numbers run below it.
std::uint32_t topicTotal();
// A topic's subject without reply prefix, and whether it is Russian (CP866).
const std::string& topicSubject(std::uint32_t topic);
bool topicIsRussian(std::uint32_t topic);

// A sentence for a message body, chosen by pick; Russian topics get
// Russian text.
const std::string& bodySentence(std::uint32_t topic, std::uint32_t pick);

// Text written in UTF-8 in this source, turned into code page 866 bytes, as
// FidoNet carries Russian. Only Cyrillic letters are mapped.
std::string toCp866(const char* utf8);

}  // namespace knotter::bench
