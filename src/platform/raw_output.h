// Writing bytes to a file descriptor of the process, whole, retrying interrupted writes.
#pragma once

#include <cstddef>

namespace quillmot {

// False when the descriptor takes no more (a closed pipe, a full disk).
bool write_all(int fd, const char* data, size_t size);

}  // namespace quillmot
