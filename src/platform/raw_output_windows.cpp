// The C runtime's descriptors are in text mode: each line feed goes out as carriage return and
// line feed, as Windows console programs' output does.
#include <io.h>

#include <algorithm>
#include <cerrno>

#include "platform/raw_output.h"

namespace quillmot {

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    int n = _write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace quillmot
