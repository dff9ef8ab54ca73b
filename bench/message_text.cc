#include "message_text.h"

#include <array>

namespace knotter::bench {
namespace {

constexpr std::uint32_t msgUid = 0x00020000;  // the header's umsgid is valid
constexpr std::uint32_t msgRead = 0x00000004;

constexpr std::array tossers = {"hpt/lnx 1.9.0-cur 2024-01-01", "hpt/w32-mvcdll 1.9.0-cur",
                                "Squish/386 1.11 r0", "CrashEcho/LNX 1.10"};

std::uint32_t serialSalt(const AreaPlan& plan) {
  return static_cast<std::uint32_t>(plan.seed * 0x9E3779B97F4A7C15ULL >> 32);
}

void appendHex8(std::string& out, std::uint32_t value, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  for (int shift = 28; shift >= 0; shift -= 4) out += digits[(value >> shift) & 15];
}

void appendBase36(std::string& out, std::uint32_t value) {
  char digits[8];
  int length = 0;
  do {
    digits[length++] = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
    value /= 36;
  } while (value != 0);
  while (length > 0) out += digits[--length];
}

// An origin address drawn from the serial's number alone, so that a REPLY
// quoting the identifier names the same address. About a billion nets and
// nodes leave only chance collisions among a million messages.
NodeAddress ownOrigin(const AreaPlan& plan, std::uint32_t serialIndex, std::uint32_t author) {
  const std::uint32_t pick = mix32(serialIndex ^ serialSalt(plan) ^ 0x6C8E9CF5U);
  NodeAddress address = authorAddress(author);
  address.net = static_cast<std::uint16_t>(1 + (pick & 0x7FFF) % 32767);
  address.node = static_cast<std::uint16_t>(1 + (pick >> 15) % 32767);
  address.point = pick >> 30 == 0 ? static_cast<std::uint16_t>(1 + serialIndex % 99) : 0;
  return address;
}

// The origin address of an identifier: the author's, or one of its own
// (-o), or one of the pool, drawn by the serial alone.
NodeAddress originOf(const AreaPlan& plan, std::uint32_t serialIndex, std::uint32_t author) {
  if (!plan.originPool.empty()) {
    const std::uint32_t pick = mix32(serialIndex ^ serialSalt(plan) ^ 0x3C6EF372U);
    return plan.originPool[pick % plan.originPool.size()];
  }
  return plan.manyOrigins ? ownOrigin(plan, serialIndex, author) : authorAddress(author);
}

// The identifier of the message whose serial is numbered serialIndex: the
// plan's own messages use their index, missing originals count on after them.
void appendMsgId(std::string& out, const AreaPlan& plan, std::uint32_t serialIndex,
                 std::uint32_t author, IdForm form) {
  const std::uint32_t serial = mix32(serialIndex + serialSalt(plan));
  if (form == IdForm::angle) {
    out += '<';
    appendBase36(out, mix32(serial ^ 0x5BD1E995U));
    out += '.';
    appendBase36(out, serialIndex);
    out += '@';
    out += authorMailDomain(author);
    out += '>';
    if (serialIndex % 2 == 0) return;  // gateways differ: some add a serial
    out += ' ';
  } else {
    appendAddress(out, originOf(plan, serialIndex, author));
    if (form == IdForm::addressDomain) out += "@fidonet";
    out += ' ';
  }
  appendHex8(out, serial, author % 11 == 0);
}

struct ParentView {
  bool present = false;  // there is something to put into REPLY
  std::uint32_t serialIndex = 0;
  std::uint32_t author = 0;
  IdForm form = IdForm::none;
};

ParentView parentOf(const AreaPlan& plan, const PlannedMessage& message) {
  ParentView view;
  if (message.parent == noParent) return view;
  if ((message.parent & missingFlag) != 0) {
    const std::uint32_t lost = message.parent & ~missingFlag;
    const MissingOriginal& original = plan.missing[lost];
    const auto count = static_cast<std::uint32_t>(plan.messages.size());
    return {true, count + lost, original.author, original.form};
  }
  const PlannedMessage& parent = plan.messages[message.parent];
  return {parent.form != IdForm::none, parent.source, parent.author, parent.form};
}

void appendReplyPrefix(std::string& out, Random& random, std::uint32_t depth) {
  const std::uint32_t roll = randomBelow(random, 1000);
  if (depth >= 2 && roll < 150) {
    out += "Re^" + std::to_string(depth) + ": ";
  } else if (depth >= 2 && roll < 180) {
    out += "Re[" + std::to_string(depth) + "]: ";
  } else if (depth >= 2 && roll < 220) {
    out += "Re: Re: ";
  } else if (roll < 320) {
    out += "RE: ";
  } else if (roll < 330) {
    out += "re: ";
  } else {
    out += "Re: ";
  }
}

const char* timeZoneOf(const NodeAddress& address) {
  if (address.zone == 1) return "-0500";
  if (address.zone == 3) return "1000";
  return address.net >= 5000 ? "0300" : "0200";
}

void appendKludge(std::string& out, const char* name, const std::string& value) {
  out += '\x01';
  out += name;
  out += value;
}

// MSGID and REPLY come first, as tossers and editors write them; PID and TID
// are chosen so that the block stays within its length range.
void composeControl(const AreaPlan& plan, const PlannedMessage& message, Random& random,
                    bool russian, std::string& control) {
  control.clear();
  std::string value;
  if (message.form != IdForm::none) {
    appendMsgId(value, plan, message.source, message.author, message.form);
    appendKludge(control, "MSGID: ", value);
  }
  const ParentView parent = parentOf(plan, message);
  if (parent.present) {
    // Some editors drop the domain when they quote an identifier back.
    const bool dropDomain = parent.form == IdForm::addressDomain && randomChance(random, 500);
    value.clear();
    appendMsgId(value, plan, parent.serialIndex, parent.author,
                dropDomain ? IdForm::address : parent.form);
    appendKludge(control, "REPLY: ", value);
  }
  const std::string charset = russian || randomChance(random, 600) ? "CP866 2" : "LATIN-1 2";
  const std::string zone = timeZoneOf(authorAddress(message.author));
  const std::string pid = authorEditor(message.author);
  const std::string tid = tossers[randomBelow(random, tossers.size())];
  // "\x01CHRS: " and "\x01TZUTC: " are 7 and 8 bytes, "\x01PID: " and
  // "\x01TID: " 6 each; one byte is kept free for a closing NUL.
  const std::size_t always = control.size() + 7 + charset.size() + 8 + zone.size() + 1;
  bool withPid = randomChance(random, 800);
  bool withTid = randomChance(random, 700);
  const auto total = [&] {
    return always + (withPid ? 6 + pid.size() : 0) + (withTid ? 6 + tid.size() : 0);
  };
  if (total() < controlMin + 1) withPid = withTid = true;
  if (total() > controlMax) withTid = false;
  if (total() > controlMax) withPid = false;
  if (withPid) appendKludge(control, "PID: ", pid);
  if (withTid) appendKludge(control, "TID: ", tid);
  appendKludge(control, "CHRS: ", charset);
  appendKludge(control, "TZUTC: ", zone);
  if (randomChance(random, 300)) control += '\0';
}

// The sentence a message opens with; a reply quotes its parent's.
std::uint32_t openingPick(const AreaPlan& plan, std::uint32_t serialIndex) {
  return mix32(serialIndex ^ serialSalt(plan) ^ 0x27D4EB2FU);
}

void appendInitials(std::string& out, std::uint32_t author) {
  const std::string& name = authorName(author);
  out += name[0];
  const std::size_t blank = name.find(' ');
  if (blank != std::string::npos) out += name[blank + 1];
}

void appendTrailer(std::string& out, const PlannedMessage& message) {
  const NodeAddress address = authorAddress(message.author);
  out += "\r--- ";
  out += authorEditor(message.author);
  out += "\r * Origin: ";
  out += authorFirstName(message.author);
  out += "'s station (";
  appendAddress(out, address);
  out += ")\rSEEN-BY: " + std::to_string(address.net) + '/' + std::to_string(address.node) +
         " 1 2 5020/1\r\x01PATH: " + std::to_string(address.net) + '/' +
         std::to_string(address.node) + " 1\r";
}

// A greeting, a quote of the parent when it is a reply, sentences up to a
// length drawn from the body range, then the trailer and the closing NUL.
void composeBody(const AreaPlan& plan, const PlannedMessage& message, Random& random,
                 const std::string& toName, std::string& body) {
  const bool russian = topicIsRussian(message.topic);
  body = russian ? toCp866("Привет, ") : std::string("Hello ");
  body += message.parent == noParent ? std::string("All") : toName.substr(0, toName.find(' '));
  body += "!\r\r";
  const ParentView parent = parentOf(plan, message);
  if (message.parent != noParent) {
    body += ' ';
    appendInitials(body, parent.author);
    body += "> ";
    body += bodySentence(message.topic, openingPick(plan, parent.serialIndex));
    body += "\r\r";
  }
  std::string trailer;
  appendTrailer(trailer, message);
  // Room for one more sentence (the longest is under 90 bytes) above the
  // target keeps the text within the range.
  const std::size_t target = bodyMin + randomBelow(random, bodyMax - bodyMin - 90 + 1);
  std::uint32_t pick = openingPick(plan, message.source);
  while (body.size() + trailer.size() + 1 < target) {
    if (body.back() != '\r') body += randomChance(random, 300) ? '\r' : ' ';
    body += bodySentence(message.topic, pick);
    pick = static_cast<std::uint32_t>(nextRandom(random));
  }
  body += trailer;
  body += '\0';
}

void composeSubject(const AreaPlan& plan, const PlannedMessage& message, Random& random,
                    std::string& subject) {
  subject.clear();
  if (message.parent != noParent) appendReplyPrefix(subject, random, message.depth);
  subject += plan.subjectPool.empty() ? topicSubject(message.topic)
                                      : plan.subjectPool[message.topic % plan.subjectPool.size()];
  if (subject.size() > subjectMax) subject.resize(subjectMax);
}

}  // namespace

void composeMessage(const AreaPlan& plan, std::uint32_t index, ComposedMessage& out) {
  const PlannedMessage& message = plan.messages[index];
  // Drawn from the source, so that a dupe repeats its original to the byte.
  Random random = messageRandom(plan.seed, message.source);
  const ParentView parent = parentOf(plan, message);
  out.from = authorName(message.author);
  if (message.parent != noParent) {
    out.to = authorName(parent.author);
  } else {
    out.to = randomChance(random, 900) ? std::string("All")
                                       : authorName(randomBelow(random, authorCount));
  }
  composeSubject(plan, message, random, out.subject);
  composeControl(plan, message, random, topicIsRussian(message.topic), out.control);
  composeBody(plan, message, random, out.to, out.body);
  out.orig = authorAddress(message.author);
  out.dest = {out.orig.zone, out.orig.net, 1, 0};
  out.attributes = msgUid | (randomChance(random, 300) ? msgRead : 0);
}

}  // namespace knotter::bench
