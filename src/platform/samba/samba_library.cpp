#include "platform/samba/samba_library.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quillmot {

bool is_address(const std::string& host) {
  unsigned char bytes[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

LibraryOutputToStderr::LibraryOutputToStderr() {
  std::fflush(stdout);
  // The program opens descriptors 0 to 2 before anything else, so the saved copy is always above
  // them; it is close-on-exec so that no helper the library starts inherits our standard output.
  saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (saved_ < 0) return;
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    close(saved_);
    saved_ = -1;
  }
}

LibraryOutputToStderr::~LibraryOutputToStderr() {
  std::fflush(stdout);
  if (saved_ < 0) return;
  while (dup2(saved_, STDOUT_FILENO) < 0 && errno == EINTR) {
  }
  close(saved_);
}

std::vector<const void*> talloc_children(const SambaLibrary& library, const void* parent,
                                         int depth) {
  std::vector<const void*> children;
  library.talloc_walk(
      parent, 0, depth,
      [](const void* pointer, int depth, int, int is_reference, void* data) {
        if (depth >= 1 && !is_reference)
          static_cast<std::vector<const void*>*>(data)->push_back(pointer);
      },
      &children);
  return children;
}

std::string library_error_text(SambaLibrary& library, NetStatus status) {
  // The text is talloc's to free: without talloc's calls, the table's number alone. Before the
  // context is made, only the table has a text.
  const auto code = static_cast<NET_API_STATUS>(status);
  if (library.talloc_free == nullptr) return std::string();
  char* text = nullptr;
  if (library.context != nullptr && library.error_string != nullptr)
    text = library.error_string(library.context, code);
  else if (library.context == nullptr && library.status_text != nullptr)
    text = library.status_text(code);
  if (text == nullptr) return std::string();
  std::string copy = text;
  library.talloc_free(text, __FILE__);  // a talloc copy of its own
  return copy;
}

std::string unresolvable_host(const std::string& host) {
  if (host.empty() || is_address(host)) return std::string();
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error == 0) {
    freeaddrinfo(found);
    return std::string();
  }
  return error == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(error);
}

void close_samba_library(SambaLibrary& library) {
  quietly([&] { return library.free_context(library.context); });
}

}  // namespace quillmot
