#include "msg/posix_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/bytes.h"
#include "msg/format.h"

namespace knotter {
namespace {

// Every message file is opened without following a symbolic link, so that a
// link planted under a message name never lets a run as root write another
// file, and without waiting, so that a FIFO under such a name cannot hold
// the run.
constexpr int messageOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Errors of an open that say the name no longer leads to a regular file.
bool notAFile(int error) {
  return error == ELOOP || error == EISDIR || error == ENXIO;
}

// What an open file is; closes it unless it is a regular file with one name.
MsgFileOpen classify(FileDescriptor& file) {
  MsgFileOpen result;
  struct stat status {};
  if (::fstat(file.fd, &status) != 0) {
    result.error = errno;
    file.close();
    return result;
  }
  if (!S_ISREG(status.st_mode)) {
    result.kind = MsgFileKind::notRegular;
  } else if (status.st_nlink > 1) {
    // Another name of the same file may lie anywhere on this file system.
    result.kind = MsgFileKind::hardLink;
  } else {
    result.kind = MsgFileKind::regular;
    result.id = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    result.size = status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size);
    return result;
  }
  file.close();
  return result;
}

std::int64_t preadAll(int fd, std::uint8_t* out, std::size_t size, std::uint64_t at) {
  for (;;) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(at));
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Writes a 2-byte field; 0, or the error number (EIO for a write that made
// no progress without saying why).
int writeWord(int fd, std::size_t at, std::uint16_t value) {
  std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  std::size_t done = 0;
  while (done < sizeof bytes) {
    const ssize_t put = ::pwrite(fd, bytes + done, sizeof bytes - done, static_cast<off_t>(at + done));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return EIO;
    done += static_cast<std::size_t>(put);
  }
  return 0;
}

constexpr MsgWriteResult changedResult{MsgWriteOutcome::changed, 0};

MsgWriteResult failedResult(int error) { return {MsgWriteOutcome::failed, error}; }

// The checks before a write, on the file just opened for it.
MsgWriteResult checkBeforeWrite(int fd, const MsgFileId& id, MsgLinkWords old) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return failedResult(errno);
  const MsgFileId now{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
  if (!S_ISREG(status.st_mode) || status.st_nlink > 1 || now != id ||
      status.st_size < static_cast<off_t>(msgHeaderSize)) {
    return changedResult;
  }
  // replyTo, the attribute and up: tossers and readers set attribute bits
  // at any time, so only the two link fields must be as they were read.
  std::uint8_t fields[6];
  const std::int64_t got = preadAll(fd, fields, sizeof fields, msgReplyToOffset);
  if (got < 0) return failedResult(errno);
  if (got != sizeof fields || load16(fields) != old.replyTo || load16(fields + 4) != old.up) {
    return changedResult;
  }
  return {MsgWriteOutcome::written, 0};
}

}  // namespace

int PosixMsgDirectory::open() {
  directory_.close();
  directory_.fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (directory_.fd < 0) return errno;
  return flockBounded(directory_.fd, purpose_ == OpenFor::linking ? LOCK_EX : LOCK_SH);
}

int PosixMsgDirectory::list(MsgNameVisitor& visitor) {
  // The stream takes a duplicate: closing it must not close the descriptor
  // that holds the lock.
  const int duplicate = ::fcntl(directory_.fd, F_DUPFD_CLOEXEC, 0);
  if (duplicate < 0) return errno;
  DIR* stream = ::fdopendir(duplicate);
  if (stream == nullptr) {
    const int error = errno;
    ::close(duplicate);
    return error;
  }
  int error = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) {
      error = errno;
      break;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") visitor.name(name);
  }
  ::closedir(stream);
  return error;
}

MsgFileOpen PosixMsgDirectory::openFile(std::uint32_t number) {
  char name[msgNameBufferSize];
  msgNameOf(number, name);
  const int access = purpose_ == OpenFor::linking ? O_RDWR : O_RDONLY;
  file_.close();
  file_.fd = ::openat(directory_.fd, name, access | messageOpenFlags);
  if (file_.fd >= 0) return classify(file_);
  MsgFileOpen result;
  result.error = errno;
  if (result.error == ENOENT) result.kind = MsgFileKind::gone;
  if (notAFile(result.error)) result.kind = MsgFileKind::notRegular;
  return result;
}

std::int64_t PosixMsgDirectory::readFile(std::uint64_t at, std::span<std::uint8_t> out, int& error) {
  const std::int64_t got = preadAll(file_.fd, out.data(), out.size(), at);
  if (got < 0) error = errno;
  return got;
}

MsgWriteResult PosixMsgDirectory::writeLinks(std::uint32_t number, const MsgFileId& id,
                                             MsgLinkWords old, MsgLinkWords fresh) {
  if (purpose_ != OpenFor::linking) return failedResult(EBADF);
  char name[msgNameBufferSize];
  msgNameOf(number, name);
  FileDescriptor file(::openat(directory_.fd, name, O_RDWR | messageOpenFlags));
  if (file.fd < 0) {
    const int error = errno;
    return error == ENOENT || notAFile(error) ? changedResult : failedResult(error);
  }
  const MsgWriteResult checked = checkBeforeWrite(file.fd, id, old);
  if (checked.outcome != MsgWriteOutcome::written) return checked;
  int error = 0;
  if (fresh.replyTo != old.replyTo) error = writeWord(file.fd, msgReplyToOffset, fresh.replyTo);
  if (error == 0 && fresh.up != old.up) error = writeWord(file.fd, msgUpOffset, fresh.up);
  if (error != 0) return failedResult(error);
  // A file system may only say at close that a write did not reach it.
  const int fd = file.fd;
  file.fd = -1;
  if (::close(fd) != 0 && errno != EINTR) return failedResult(errno);
  return {MsgWriteOutcome::written, 0};
}

}  // namespace knotter
