#include "msg/memory_directory.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "msg/format.h"

namespace knotter {

MemoryMsgFile* MemoryMsgDirectory::find(std::string_view name) {
  for (MemoryMsgFile& file : files) {
    if (file.name == name) return &file;
  }
  return nullptr;
}

MemoryMsgFile* MemoryMsgDirectory::byNumber(std::uint32_t number) {
  char name[msgNameBufferSize];
  msgNameOf(number, name);
  return find(name);
}

MsgFileId MemoryMsgDirectory::idOf(const MemoryMsgFile& file) const {
  const auto position = static_cast<std::uint64_t>(&file - files.data());
  return {1, file.inode != 0 ? file.inode : 1000000 + position};
}

int MemoryMsgDirectory::list(MsgNameVisitor& visitor) {
  if (listError != 0) return listError;
  for (const MemoryMsgFile& file : files) visitor.name(file.name);
  return 0;
}

MsgFileOpen MemoryMsgDirectory::openFile(std::uint32_t number) {
  ++fileOpens;
  open_ = nullptr;
  MsgFileOpen result;
  MemoryMsgFile* file = byNumber(number);
  if (file == nullptr) {
    result.kind = MsgFileKind::gone;
    return result;
  }
  result.kind = file->kind;
  result.error = file->openError;
  if (file->kind != MsgFileKind::regular) return result;
  result.id = idOf(*file);
  result.size = file->bytes.size();
  open_ = file;
  return result;
}

std::int64_t MemoryMsgDirectory::readFile(std::uint64_t at, std::span<std::uint8_t> out, int& error) {
  ++fileReads;
  if (open_->readError != 0) {
    error = open_->readError;
    return -1;
  }
  const std::uint64_t size = open_->bytes.size();
  if (at >= size) return 0;
  const std::uint64_t count = std::min<std::uint64_t>(out.size(), size - at);
  std::memcpy(out.data(), open_->bytes.data() + at, count);
  return static_cast<std::int64_t>(count);
}

MsgWriteResult MemoryMsgDirectory::writeLinks(std::uint32_t number, const MsgFileId& id,
                                              MsgLinkWords old, MsgLinkWords fresh) {
  ++writeOpens;
  if (beforeWrite) beforeWrite(number);
  MemoryMsgFile* file = byNumber(number);
  if (file == nullptr || file->kind != MsgFileKind::regular || idOf(*file) != id ||
      file->bytes.size() < msgHeaderSize) {
    return {MsgWriteOutcome::changed, 0};
  }
  std::uint8_t* header = file->bytes.data();
  if (load16(header + msgReplyToOffset) != old.replyTo || load16(header + msgUpOffset) != old.up) {
    return {MsgWriteOutcome::changed, 0};
  }
  if (file->writeError != 0) return {MsgWriteOutcome::failed, file->writeError};
  const auto put = [&](std::size_t at, std::uint16_t value) {
    header[at] = static_cast<std::uint8_t>(value);
    header[at + 1] = static_cast<std::uint8_t>(value >> 8);
  };
  if (fresh.replyTo != old.replyTo) put(msgReplyToOffset, fresh.replyTo);
  if (fresh.up != old.up) put(msgUpOffset, fresh.up);
  return {MsgWriteOutcome::written, 0};
}

}  // namespace knotter
