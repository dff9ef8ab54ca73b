// The file system of one *.MSG area as the source, the sink and the
// inspector use it: list the directory's names, open a message file and read
// its first bytes with what kind of file it is, and write a link field after
// checking that the file is still the one read. A POSIX directory serves
// the tool; a directory in memory serves tests and the fuzzer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace knotter {

// What opening a message file found.
enum class MsgFileKind : std::uint8_t {
  regular,     // a regular file with one name: it may be a message
  gone,        // no such name any more (removed since the listing)
  notRegular,  // a symbolic link, a directory, a FIFO, a device, a socket
  hardLink,    // a regular file with more than one name
  failed,      // could not be opened: error holds why
};

// Which file a name led to, to tell it from one put in its place later.
struct MsgFileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const MsgFileId&) const = default;
};

struct MsgFileOpen {
  MsgFileKind kind = MsgFileKind::failed;
  int error = 0;           // for failed: the error number of the open
  MsgFileId id;            // for regular
  std::uint64_t size = 0;  // for regular
};

// The two link fields of a message file.
struct MsgLinkWords {
  std::uint16_t replyTo = 0;
  std::uint16_t up = 0;
  bool operator==(const MsgLinkWords&) const = default;
};

enum class MsgWriteOutcome : std::uint8_t {
  written,  // the fields that differ were written
  changed,  // the file is gone, another one, or its fields are not those read
  failed,   // the open or a write failed: error holds why
};

struct MsgWriteResult {
  MsgWriteOutcome outcome = MsgWriteOutcome::failed;
  int error = 0;
};

// Takes the names of a directory listing.
class MsgNameVisitor {
 public:
  virtual void name(std::string_view name) = 0;

 protected:
  ~MsgNameVisitor() = default;
};

class MsgDirectory {
 public:
  // Opens the directory and takes its lock (shared when it is only
  // inspected), waiting at most about one second. 0, or the error number
  // (4 when the lock was not granted in time).
  virtual int open() = 0;

  // Gives visitor every name of the directory but "." and "..". 0, or the
  // error number of a listing that failed. REQUIRES: open returned 0.
  virtual int list(MsgNameVisitor& visitor) = 0;

  // Opens the message file of number (written only when the area is linked)
  // without following a symbolic link or waiting on a FIFO, and says what it
  // is. A regular file stays open for read until closeFile; nothing else does.
  virtual MsgFileOpen openFile(std::uint32_t number) = 0;

  // Reads at most out.size() bytes at offset at of the open file into out.
  // Returns how many (fewer only at the end of the file), or -1 with error.
  virtual std::int64_t readFile(std::uint64_t at, std::span<std::uint8_t> out, int& error) = 0;

  virtual void closeFile() = 0;

  // Opens the file of number for writing, checks that it is still the
  // regular file id, at least a header long, with one name, holding old in
  // its link fields (the attribute between them may differ), and writes the
  // fields in which fresh differs from old. Closes it again.
  virtual MsgWriteResult writeLinks(std::uint32_t number, const MsgFileId& id, MsgLinkWords old,
                                    MsgLinkWords fresh) = 0;

 protected:
  ~MsgDirectory() = default;
};

}  // namespace knotter
