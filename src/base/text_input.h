// Opens the text files the tool reads from start to end: the configuration
// and its Include files, the area list and the flags file. Only a regular
// file or a FIFO is taken: a device, a socket or a directory may never end,
// or never yield a line, and is treated as a file that cannot be opened.
#pragma once

namespace knotter {

// Opens path read-only and close-on-exec, without waiting for a FIFO's
// writer. Returns the descriptor, or -1 with errno set: ENXIO for a path
// that is neither a regular file nor a FIFO.
int openTextInput(const char* path);

}  // namespace knotter
