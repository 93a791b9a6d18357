// Writing bytes to a file descriptor of the process, whole.
#pragma once

#include <cstddef>

namespace quillmot {

// 0 once every byte is written, or the error number of the write that failed (EPIPE for a closed
// pipe, ENOSPC for a full disk, ...). Interrupted writes are retried, and a descriptor that takes
// nothing for now (EAGAIN on a non-blocking pipe) is waited for: no byte is ever dropped.
int write_all(int fd, const char* data, size_t size);

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that no descriptor opened
// later (a library's socket) can take their place. Returns a bit for each descriptor it opened
// (1 << fd).
unsigned open_closed_standard_descriptors();

// Writes every byte to `fd` as it is: on Windows, no carriage return before each line feed (a
// line feed inside a CSV field must come back as one); elsewhere there is nothing to change.
void write_line_feeds_as_they_are(int fd);

}  // namespace quillmot
