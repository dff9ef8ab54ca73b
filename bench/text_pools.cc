#include "text_pools.h"

#include <array>
#include <vector>

#include "message_plan.h"

namespace knotter::bench {
namespace {

constexpr std::array firstNames = {"Alexey",  "Boris",  "Dmitry",     "Elena",  "Fedor",
                                   "Gennady", "Igor",   "Konstantin", "Leonid", "Maxim",
                                   "Nikolay", "Oleg",   "Pavel",      "Roman",  "Sergey",
                                   "Tatyana", "Victor", "Yuri",       "Anton",  "Mikhail"};
constexpr std::array lastNames = {"Ivanov", "Petrov",  "Sidorov", "Kuznetsov", "Smirnov",
                                  "Volkov", "Sokolov", "Lebedev", "Kozlov",    "Novikov"};
static_assert(firstNames.size() * lastNames.size() == authorCount);

// Zone and net of the author's node: mostly zone 2, a few elsewhere.
constexpr std::array<std::array<std::uint16_t, 2>, 12> nets = {{{2, 5020},
                                                                {2, 5030},
                                                                {2, 5015},
                                                                {2, 450},
                                                                {2, 463},
                                                                {2, 469},
                                                                {2, 4624},
                                                                {2, 5080},
                                                                {2, 280},
                                                                {1, 261},
                                                                {3, 633},
                                                                {2, 292}}};

constexpr std::array mailDomains = {"gate.fido7.example.net", "news.example.org",
                                    "mail.example.com", "uucp.example.su"};
constexpr std::array editors = {"GoldED+/LNX 1.1.5-b20170303",
                                "GoldED+/W32-MINGW 1.1.5",
                                "SqEd32/NT 1.15",
                                "Msged/LNX 6.2.0",
                                "FIPS/NT 1.0.4",
                                "Golded/386 2.50+"};

// English subjects are head + tail; each pair fits in the default compared
// length, so every topic stays its own subject thread.
constexpr std::array heads = {"Binkd",   "Husky",  "GoldED",  "Linux",   "FreeBSD",
                              "Modem",   "Squish", "Fidonet", "Points",  "Echo",
                              "Netmail", "Tosser", "Mailer",  "Editor",  "Router",
                              "Pascal",  "OS/2",   "DOS",     "Windows", "Kernel"};
constexpr std::array tails = {"setup", "config", "crash",  "update", "speed", "logs",    "keys",
                              "bug",   "manual", "backup", "news",   "ports", "scripts", "history"};
constexpr std::array extras = {"",        "", "?", " again", " question", " (long)", " under Linux",
                               " - help!"};
constexpr std::array russianHeads = {"Привет", "Вопрос", "Помощь", "Модем", "Сеть", "Поинты"};
constexpr std::array russianTails = {"всем", "опять", "снова", "срочно", "тут"};
constexpr std::uint32_t englishTopics = heads.size() * tails.size();
constexpr std::uint32_t russianTopics = russianHeads.size() * russianTails.size();

constexpr std::array englishSentences = {
    "I have upgraded the node last night and now the mailer refuses to poll my uplink.",
    "The tosser drops every second packet into the bad area.",
    "Has anybody seen this error before?",
    "My log file says the session was aborted by the remote.",
    "It worked fine with the old version.",
    "Try to increase the timeout in the config.",
    "You should read the manual first.",
    "I moved the message bases to another disk.",
    "The nodelist compiler takes ages on this box.",
    "Nothing has changed here since the last time.",
    "Please send me the full log by netmail.",
    "That is a known bug, fixed in the current snapshot.",
    "It depends on the compiler you use.",
    "I agree with you.",
    "Check the permissions of the outbound directory.",
    "The area is quiet these days."};
constexpr std::array russianSentences = {
    "Никак не могу настроить мейлер.", "У меня то же самое.",      "Попробуй обновить нодлист.",
    "Логи посмотри сначала.",          "Спасибо, всё заработало.", "Кто-нибудь знает, в чём дело?"};

// Maps the Cyrillic letters of a UTF-8 text to code page 866.
std::uint8_t cp866Of(std::uint32_t codePoint) {
  if (codePoint == 0x401) return 0xF0;  // capital io
  if (codePoint == 0x451) return 0xF1;  // small io
  if (codePoint >= 0x410 && codePoint < 0x440)
    return static_cast<std::uint8_t>(0x80 + codePoint - 0x410);
  if (codePoint >= 0x440 && codePoint < 0x450)
    return static_cast<std::uint8_t>(0xE0 + codePoint - 0x440);
  return '?';
}

struct Topic {
  std::string subject;
  bool russian = false;
};

std::string englishTopic(std::uint32_t number) {
  std::string subject = heads[number % heads.size()];
  subject += ' ';
  subject += tails[number / heads.size()];
  subject += extras[mix32(number) % extras.size()];
  return subject;
}

std::string russianTopic(std::uint32_t number) {
  return toCp866(russianHeads[number % russianHeads.size()]) + ' ' +
         toCp866(russianTails[number / russianHeads.size()]);
}

// Every tenth topic is Russian while they last, so that the popular (low)
// topic numbers include some.
std::vector<Topic> buildTopics() {
  std::vector<Topic> topics;
  std::uint32_t english = 0;
  std::uint32_t russian = 0;
  for (std::uint32_t topic = 0; topic < englishTopics + russianTopics; ++topic) {
    if ((topic % 10 == 9 && russian < russianTopics) || english == englishTopics) {
      topics.push_back({russianTopic(russian++), true});
    } else {
      topics.push_back({englishTopic(english++), false});
    }
  }
  return topics;
}

const std::vector<Topic>& allTopics() {
  static const std::vector<Topic> topics = buildTopics();
  return topics;
}

template <typename Texts>
std::vector<std::string> buildList(const Texts& texts, bool russian) {
  std::vector<std::string> list;
  for (const char* text : texts) list.push_back(russian ? toCp866(text) : std::string(text));
  return list;
}

std::vector<std::string> buildNames(bool full) {
  std::vector<std::string> names;
  for (std::uint32_t author = 0; author < authorCount; ++author) {
    std::string name = firstNames[author % firstNames.size()];
    if (full) name = name + ' ' + lastNames[author / firstNames.size()];
    names.push_back(name);
  }
  return names;
}

}  // namespace

std::string toCp866(const char* utf8) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p != 0) {
    if (*p < 0x80) {
      out += static_cast<char>(*p++);
    } else if ((*p & 0xE0) == 0xC0 && p[1] != 0) {
      const std::uint32_t codePoint = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
      out += static_cast<char>(cp866Of(codePoint));
      p += 2;
    } else {
      out += '?';
      ++p;
    }
  }
  return out;
}

const std::string& authorName(std::uint32_t author) {
  static const std::vector<std::string> names = buildNames(true);
  return names[author % authorCount];
}

const std::string& authorFirstName(std::uint32_t author) {
  static const std::vector<std::string> names = buildNames(false);
  return names[author % authorCount];
}

NodeAddress authorAddress(std::uint32_t author) {
  const auto& net = nets[mix32(author) % nets.size()];
  NodeAddress address{net[0], net[1], static_cast<std::uint16_t>(1 + mix32(author * 7 + 1) % 999),
                      0};
  if (mix32(author + 99) % 10 < 3)
    address.point = static_cast<std::uint16_t>(1 + mix32(author + 5) % 20);
  return address;
}

const char* authorMailDomain(std::uint32_t author) {
  return mailDomains[author % mailDomains.size()];
}

const char* authorEditor(std::uint32_t author) {
  return editors[mix32(author + 3) % editors.size()];
}

void appendAddress(std::string& out, const NodeAddress& address) {
  out += std::to_string(address.zone);
  out += ':';
  out += std::to_string(address.net);
  out += '/';
  out += std::to_string(address.node);
  if (address.point != 0) {
    out += '.';
    out += std::to_string(address.point);
  }
}

std::uint32_t topicTotal() { return englishTopics + russianTopics; }

const std::string& topicSubject(std::uint32_t topic) {
  return allTopics()[topic % topicTotal()].subject;
}

bool topicIsRussian(std::uint32_t topic) { return allTopics()[topic % topicTotal()].russian; }

const std::string& bodySentence(std::uint32_t topic, std::uint32_t pick) {
  static const std::vector<std::string> english = buildList(englishSentences, false);
  static const std::vector<std::string> russian = buildList(russianSentences, true);
  const std::vector<std::string>& list = topicIsRussian(topic) ? russian : english;
  return list[pick % list.size()];
}

}  // namespace knotter::bench
