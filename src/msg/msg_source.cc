#include "msg/msg_source.h"

#include "base/bytes.h"
#include "log/area_reports.h"

namespace knotter {
namespace {

// Marks the numbers of the canonical names but 1.msg.
class NumberLister final : public MsgNameVisitor {
 public:
  NumberLister(std::span<std::uint64_t> bits, std::uint32_t& count) : bits_(bits), count_(count) {}
  void name(std::string_view name) override {
    const std::uint32_t number = msgNumberOfName(name);
    if (number <= msgHighwaterNumber) return;
    std::uint64_t& word = bits_[number >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (number & 63);
    if ((word & bit) == 0) ++count_;
    word |= bit;
  }

 private:
  std::span<std::uint64_t> bits_;
  std::uint32_t& count_;
};

}  // namespace

bool MsgSource::sizeIndex(IndexSize& size) {
  if (const int error = directory_.open(); error != 0) {
    reportCannotOpen(msgPathOf(dir_, "").c_str(), error);
    return false;
  }
  listed_.fill(0);
  count_ = 0;
  NumberLister lister(listed_, count_);
  if (directory_.list(lister) != 0) {
    reportFileReadError(msgPathOf(dir_, "").c_str());
    return false;
  }
  size.entries = count_;
  return true;
}

bool MsgSource::readIndex(std::span<std::uint8_t> room) {
  raw_ = room;
  std::size_t at = 0;
  for (std::uint32_t word = 0; word < listed_.size(); ++word) {
    for (std::uint64_t bits = listed_[word]; bits != 0; bits &= bits - 1) {
      const std::uint32_t number = word * 64 + static_cast<std::uint32_t>(__builtin_ctzll(bits));
      room[at] = static_cast<std::uint8_t>(number);
      room[at + 1] = static_cast<std::uint8_t>(number >> 8);
      at += 2;
    }
  }
  return true;
}

bool MsgSource::entry(std::uint32_t position, IndexEntry& out) {
  const std::uint32_t number = load16(raw_.data() + std::size_t{position} * 2);
  out = IndexEntry{true, number, number};
  return true;
}

MessageState MsgSource::readMessage(const MessageRef& message, std::span<std::uint8_t> room,
                                    MessageParts parts, MessageReader& reader) {
  const MsgFileRead read = readMsgFile(directory_, message.number, buffer_,
                                       parts == MessageParts::kludges ? &reader : nullptr);
  switch (read.state) {
    case MsgFileState::message:
      storeMsgRoom(room, read.id, read.links);
      if (parts == MessageParts::subject) reader.subject(read.subject);
      return MessageState::linked;
    case MsgFileState::cannotOpen:
      reportCannotOpen(filePath(message.number).c_str(), read.error);
      return MessageState::failed;
    case MsgFileState::readError:
      reportFileReadError(filePath(message.number).c_str());
      return MessageState::failed;
    case MsgFileState::gone:
    case MsgFileState::notRegular:
    case MsgFileState::hardLink:
    case MsgFileState::shortFile:
    case MsgFileState::highwater:
      break;
  }
  return MessageState::untouched;
}

void MsgSource::rescanKludges(const MessageRef& message, std::span<const std::uint8_t> room,
                              MessageReader& reader) {
  // A file replaced since it was read gives no keys now; the sink's check
  // before writing it gives the area up.
  const MsgFileId id = msgRoomId(room);
  readMsgFile(directory_, message.number, buffer_, &reader, &id);
}

std::string MsgSource::filePath(std::uint32_t number) const {
  char name[msgNameBufferSize];
  msgNameOf(number, name);
  return msgPathOf(dir_, name);
}

}  // namespace knotter
