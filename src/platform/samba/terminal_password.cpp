#include "platform/samba/terminal_password.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/raw_output.h"

namespace quillmot {

std::string read_terminal_password(int terminal, const std::string& prompt) {
  write_all(STDERR_FILENO, prompt.data(), prompt.size());
  termios saved{};
  const bool quiet = tcgetattr(terminal, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    silent.c_lflag |= ECHONL;
    tcsetattr(terminal, TCSANOW, &silent);
  }
  std::string password;
  char c;
  for (;;) {
    ssize_t n = read(terminal, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    password.push_back(c);
  }
  if (quiet) tcsetattr(terminal, TCSANOW, &saved);
  return password;
}

}  // namespace quillmot
