#include "platform/raw_output.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
// The C runtime's descriptors are in text mode: each line feed goes out as carriage return and
// line feed, as Windows console programs' output does.
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillmot {

namespace {

long write_some(int fd, const char* data, size_t size) {
#ifdef _WIN32
  return _write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
#else
  return static_cast<long>(::write(fd, data, size));
#endif
}

}  // namespace

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    long n = write_some(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace quillmot
