// Reads a Squish base for the inspector, never changing it: the data file is
// opened read-only and mapped PROT_READ under the linker's bounded shared
// lock, the index is read by the linker's readIndex, and every message is
// checked and scanned with the engine's own format helpers, kludge scanner
// and subject normaliser. Everything needed is copied out, so that the base
// is released before anything is printed.
#pragma once

#include <cstdint>
#include <vector>

#include "dump_options.h"
#include "linker/kludge_scanner.h"
#include "squish/format.h"

namespace knotter::dump {

// What the linker would find at a message, in the order it checks.
enum class FrameState : std::uint8_t {
  ok,
  beyondEndFrame,  // ofs > end_frame: the index is damaged
  outsideFile,     // frame, header or control information past the end of the file,
                   // or a sz_sqhdr too small for a frame header
  badFrame,        // the frame id is not the Squish signature
  overlapping,     // the frame begins inside a frame before it in the file
  sharedHeader,    // JAM: a header another index record names, or overlaps
  noHeader,        // JAM: a record without a header (a hard-deleted slot)
};

struct MessageView {
  std::uint32_t position = 0;  // index position, from 0
  std::uint32_t ofs = 0;       // frame offset, from the index
  std::uint32_t umsgid = 0;    // from the index; for JAM the message number
  FrameState state = FrameState::ok;
  // The fields below are only valid when state is ok.
  MsgIdKey msgId{};
  MsgIdKey reply{};
  std::uint32_t replyto = 0;
  std::uint32_t replies[replySlots] = {};  // for JAM, Reply1st in the first
  std::uint32_t replyNext = 0;             // JAM only
  bool deleted = false;                    // JAM only: the attribute says so
  std::uint8_t subjectLength = 0;
  std::uint8_t subject[xmsgSubjSize] = {};
};

struct BaseInspection {
  bool jam = false;
  BaseHeader header;                   // Squish only
  std::uint32_t baseMsgNum = 0;        // JAM only
  std::uint32_t modCounter = 0;        // JAM only
  std::uint64_t dataSize = 0;          // size of the data file as mapped
  std::vector<MessageView> messages;   // high_msg of them, in index order
  std::vector<std::uint32_t> fileOrder;  // their positions by ascending ofs, ties in index order
};

// Reads the base named by options into inspection. Returns false after
// reporting (as the linker words it) a base that cannot be read at all: a data
// or index file that cannot be opened, locked, mapped or read, or a data file
// too short for its header. Damage at single messages is only recorded in
// their state. Requires the scanner tables to be built.
bool inspectBase(const DumpOptions& options, BaseInspection& inspection);

}  // namespace knotter::dump
