#include "platform/raw_output.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
// The C runtime's descriptors are in text mode: each line feed goes out as carriage return and
// line feed, as Windows console programs' output does.
#include <io.h>
#else
#include <poll.h>
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

// Blocks until a non-blocking descriptor takes more; false when it cannot be waited for.
bool wait_until_writable(int fd) {
#ifdef _WIN32
  (void)fd;
  return false;
#else
  pollfd wanted{fd, POLLOUT, 0};
  for (;;) {
    if (poll(&wanted, 1, -1) >= 0) return true;
    if (errno != EINTR) return false;
  }
#endif
}

bool is_open(int fd) {
#ifdef _WIN32
  return _get_osfhandle(fd) != -1;
#else
  return fcntl(fd, F_GETFD) != -1 || errno != EBADF;
#endif
}

}  // namespace

int write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    long n = write_some(fd, data, size);
    if (n < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if ((error == EAGAIN || error == EWOULDBLOCK) && wait_until_writable(fd)) continue;
      return error;
    }
    // A write of zero bytes for a non-empty request makes no progress; call it what it is.
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

unsigned open_closed_standard_descriptors() {
  unsigned opened = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (is_open(fd)) continue;
#ifdef _WIN32
    int null_fd = _open("NUL", _O_RDWR);
    if (null_fd < 0) continue;
    if (null_fd != fd) {
      _dup2(null_fd, fd);
      _close(null_fd);
    }
#else
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd < 0) continue;
    // The lowest free descriptor is this one, as the lower ones are open by now.
    if (null_fd != fd) {
      dup2(null_fd, fd);
      close(null_fd);
    }
#endif
    opened |= 1u << fd;
  }
  return opened;
}

void write_line_feeds_as_they_are(int fd) {
#ifdef _WIN32
  _setmode(fd, _O_BINARY);
#else
  (void)fd;
#endif
}

}  // namespace quillmot
