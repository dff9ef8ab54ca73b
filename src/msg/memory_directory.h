// A *.MSG directory in memory, for tests and the fuzzer: the files are byte
// strings with the kind of file each name leads to, and a test can make an
// open, a read or a write fail, or change a file just before it is written,
// as another program would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "msg/msg_directory.h"

namespace knotter {

struct MemoryMsgFile {
  std::string name{};
  std::vector<std::uint8_t> bytes{};
  MsgFileKind kind = MsgFileKind::regular;  // what opening the name finds
  int openError = 0;   // the open fails with it (kind failed)
  int readError = 0;   // every read fails with it
  int writeError = 0;  // every write fails with it
  std::uint64_t inode = 0;  // 0: one of its own
};

class MemoryMsgDirectory final : public MsgDirectory {
 public:
  std::vector<MemoryMsgFile> files;
  int openError = 0;  // of the directory
  int listError = 0;
  // Runs before the checks of each write, with the file's number.
  std::function<void(std::uint32_t)> beforeWrite;
  std::uint32_t fileOpens = 0;   // opens for reading
  std::uint32_t fileReads = 0;
  std::uint32_t writeOpens = 0;  // opens for writing

  // The file of a name, or null.
  MemoryMsgFile* find(std::string_view name);

  int open() override { return openError; }
  int list(MsgNameVisitor& visitor) override;
  MsgFileOpen openFile(std::uint32_t number) override;
  std::int64_t readFile(std::uint64_t at, std::span<std::uint8_t> out, int& error) override;
  void closeFile() override { open_ = nullptr; }
  MsgWriteResult writeLinks(std::uint32_t number, const MsgFileId& id, MsgLinkWords old,
                            MsgLinkWords fresh) override;

 private:
  MemoryMsgFile* byNumber(std::uint32_t number);
  MsgFileId idOf(const MemoryMsgFile& file) const;
  MemoryMsgFile* open_ = nullptr;
};

}  // namespace knotter
