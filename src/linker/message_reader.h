// What a base format hands the core while it reads one message: the pieces
// of its control information, in order, and its subject field. The core
// sets up the reader for what it wants; a format only calls it.
#pragma once

#include <cstdint>

#include "linker/kludge_scanner.h"
#include "linker/subject_normaliser.h"

namespace knotter {

class MessageReader {
 public:
  // Takes the next piece of the control information; a kludge may run on
  // into the next piece. Returns false once the pieces still to come cannot
  // change the keys: the format may then leave them out.
  bool kludges(const std::uint8_t* begin, const std::uint8_t* end) {
    return scan_ != nullptr && feedKludgeScan(*scan_, begin, end);
  }

  // Takes the message's subject field, subjectFieldSize bytes.
  void subject(const std::uint8_t* field) {
    if (subjectOut_ != nullptr) {
      *subjectLengthOut_ =
          static_cast<std::uint8_t>(normaliseSubject(field, subjectLength_, subjectOut_));
    }
  }

  // For the core: a reader of kludges into scan, or of the subject into out.
  static MessageReader ofKludges(KludgeScan& scan) {
    MessageReader reader;
    reader.scan_ = &scan;
    return reader;
  }
  static MessageReader ofSubject(int length, std::uint8_t* out, std::uint8_t* lengthOut) {
    MessageReader reader;
    reader.subjectLength_ = length;
    reader.subjectOut_ = out;
    reader.subjectLengthOut_ = lengthOut;
    return reader;
  }

 private:
  MessageReader() = default;
  KludgeScan* scan_ = nullptr;
  int subjectLength_ = 0;
  std::uint8_t* subjectOut_ = nullptr;
  std::uint8_t* subjectLengthOut_ = nullptr;
};

}  // namespace knotter
