// A *.MSG area on disk: the directory opened once, with an advisory flock on
// it that keeps a second run of the tool out, and every message file opened
// relative to it by its bare name, so that a directory renamed meanwhile
// cannot redirect an open and the area path limit is not squeezed by names.
#pragma once

#include <string>

#include "base/file_descriptor.h"
#include "base/file_lock.h"
#include "msg/msg_directory.h"

namespace knotter {

class PosixMsgDirectory final : public MsgDirectory {
 public:
  // dir is the directory's path; purpose says whether files are opened to
  // be written (and the lock taken exclusive) or only read.
  PosixMsgDirectory(std::string dir, OpenFor purpose) : dir_(std::move(dir)), purpose_(purpose) {}

  int open() override;
  int list(MsgNameVisitor& visitor) override;
  MsgFileOpen openFile(std::uint32_t number) override;
  std::int64_t readFile(std::uint64_t at, std::span<std::uint8_t> out, int& error) override;
  void closeFile() override { file_.close(); }
  MsgWriteResult writeLinks(std::uint32_t number, const MsgFileId& id, MsgLinkWords old,
                            MsgLinkWords fresh) override;

  // Closes the directory, which releases its lock.
  void close() {
    file_.close();
    directory_.close();
  }

 private:
  std::string dir_;
  OpenFor purpose_;
  FileDescriptor directory_;  // holds the lock
  FileDescriptor file_;       // the message file being read
};

}  // namespace knotter
