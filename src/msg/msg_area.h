// A *.MSG area while it is linked or inspected: its directory, and the
// source and sink the linker core links it through.
#pragma once

#include <optional>
#include <string>

#include "base/file_lock.h"
#include "msg/msg_sink.h"
#include "msg/msg_source.h"
#include "msg/posix_directory.h"

namespace knotter {

struct MsgArea {
  std::optional<PosixMsgDirectory> directory;
  std::optional<MsgSource> source;
  std::optional<MsgSink> sink;
};

// Sets up the directory at basePath (trailing slashes dropped) and its
// source and sink; the source opens and locks it when the core asks for its
// size. Always true: every failure is the source's to report.
bool openArea(const char* basePath, const char* areaTag, OpenFor purpose, MsgArea& area);

// Closes the directory, which releases its lock. No time of any file or of
// the directory is set: each written file has its own.
void closeArea(MsgArea& area, bool changed);

// What %p names: the directory, with one slash after it.
constexpr const char* msgDataSuffix = "/";

}  // namespace knotter
