#include "platform/samba/samba_library.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/program_line.h"
#include "platform/raw_output.h"
#include "platform/samba/kerberos_ticket.h"
#include "platform/samba/samba_credentials.h"
#include "platform/samba/samba_versions.h"
#include "platform/samba/terminal_password.h"

namespace quillmot {

namespace {

constexpr char kLibraryFile[] = "libnetapi.so.1";

// Why the library cannot be used, in a line of its own before the operation's error line, as
// Samba's own lines come: an unreadable password file and a missing library would otherwise look
// just like an unreachable server.
void say_why(const std::string& reason) {
  const std::string line = program_line(reason);
  write_all(STDERR_FILENO, line.data(), line.size());
}

// No way of asking this library for signed sessions: the run refuses rather than go on unsigned.
void say_no_signing() {
  say_why(std::string("cannot ask ") + kLibraryFile + " for signed sessions");
}

template <typename Function>
bool bind(void* handle, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(handle, name));
  return *function != nullptr;
}

// When we set the credentials ourselves, the library must not read them from the environment as
// well: it crashes on USER='%', and it would read PASSWD_FILE a second time. The passwords are
// blanked in place first, as Samba's own tools do, so that they do not stay readable in the
// process's environment.
void take_credentials_out_of_environment() {
  if (char* user = std::getenv("USER"))
    if (char* percent = std::strchr(user, '%'))
      std::memset(percent + 1, 0, std::strlen(percent + 1));
  if (char* password = std::getenv("PASSWD")) std::memset(password, 0, std::strlen(password));
  unsetenv("USER");
  unsetenv("PASSWD");
  unsetenv("PASSWD_FILE");
}

bool apply_credentials(SambaLibrary& library, const SambaCredentials& credentials) {
  switch (credentials.kind) {
    case SambaCredentials::kGiven:
      // A user set through the library's own setter counts as given: a refused password then
      // fails the session instead of falling back to an anonymous one.
      return library.set_username(library.context, credentials.user.c_str()) == 0 &&
             library.set_password(library.context, credentials.password.c_str()) == 0;
    case SambaCredentials::kAnonymous:
      // The setter reads "%" as Samba's tools do: no user, no password, no domain, no Kerberos.
      // An empty user name alone would keep the guessed domain and be refused.
      return library.set_username(library.context, "%") == 0;
    case SambaCredentials::kTicket:
      // An empty password, so that the library does not ask for one it will not use.
      return library.set_use_kerberos(library.context) == 0 &&
             (set_password_below_ticket(library.versions, library.context) ||
              library.set_password(library.context, "") == 0);
    case SambaCredentials::kGuessed:
    case SambaCredentials::kUnreadable:
      break;
  }
  return false;
}

// Kerberos names a server by its host name; an address has no service ticket to ask for.
bool is_address(const std::string& host) {
  unsigned char bytes[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

// Who logs on when no password was given, decided before the library reads its environment, and
// the same with or without a terminal: the Kerberos ticket when there is a usable one and the
// server is named so that Kerberos can find it (its cache named for the library, which may resolve
// "default" differently from the kinit that wrote it); else the password typed at the terminal,
// which then counts as given; else an anonymous session, as USER='%' asks. Left to the library, a
// wrong or empty password would turn into an anonymous session behind the user's back.
void decide_logon(SambaCredentials& credentials, const CredentialSources& sources,
                  const std::string& host) {
  if (!is_address(host)) {
    std::string cache = default_ticket_cache();
    if (!cache.empty()) {
      setenv("KRB5CCNAME", cache.c_str(), 1);
      credentials.kind = SambaCredentials::kTicket;
      return;
    }
  }
  if (isatty(STDIN_FILENO)) {
    const std::string user = credentials.user.empty() ? sources.login_name : credentials.user;
    std::string typed = read_terminal_password(STDIN_FILENO, "Password for " + user + ": ");
    if (!typed.empty()) {
      credentials.kind = SambaCredentials::kGiven;
      credentials.user = user;
      credentials.password.swap(typed);
      return;
    }
  }
  credentials.kind = SambaCredentials::kAnonymous;
}

bool bind_required(SambaLibrary& library) {
  void* handle = library.handle;
  return bind(handle, "libnetapi_init", &library.init) &&
         bind(handle, "libnetapi_free", &library.free_context) &&
         bind(handle, "libnetapi_set_username", &library.set_username) &&
         bind(handle, "libnetapi_set_password", &library.set_password) &&
         bind(handle, "libnetapi_set_use_kerberos", &library.set_use_kerberos) &&
         bind(handle, "NetGroupEnum", &library.group_enum) &&
         bind(handle, "NetGroupGetInfo", &library.group_get_info) &&
         bind(handle, "NetQueryDisplayInformation", &library.query_display) &&
         bind(handle, "NetApiBufferFree", &library.buffer_free);
}

// The worker and talloc's calls, found through libnetapi's handle (which searches the libraries
// it loaded too). A libnetapi without them keeps the public lookup, and its leaks.
void bind_talloc_calls(SambaLibrary& library) {
  void* handle = library.handle;
  bind(handle, "NetGroupGetInfo_r", &library.group_get_info_worker);
  bind(handle, "_talloc_stackframe", &library.push_frame);
  bind(handle, "_talloc_free", &library.talloc_free);
  bind(handle, "talloc_report_depth_cb", &library.talloc_walk);
  bind(handle, "talloc_get_size", &library.talloc_size);
  bind(handle, "libnetapi_get_error_string", &library.error_string);
  bind(handle, "libnetapi_set_debuglevel", &library.set_debug_level);
}

}  // namespace

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

// Opens the library and binds what the program calls, asking for signed sessions where that must
// come before anything reads the client configuration; false, with the reason said, when it
// cannot.
bool open_library(SambaLibrary& library) {
  library.handle = dlopen(kLibraryFile, RTLD_NOW | RTLD_LOCAL);
  if (library.handle == nullptr) {
    const char* error = dlerror();
    say_why(std::string("cannot load ") + kLibraryFile +
            " (package samba-libs): " + (error ? error : "not found"));
    return false;
  }
  bool ready = bind_required(library);
  if (!ready) {
    say_why(std::string(kLibraryFile) + " lacks a call that quillmot needs");
  } else {
    library.versions = find_version_calls(library.handle);
    if (!ask_for_signing_before_init(library.versions)) {
      say_no_signing();
      ready = false;
    }
  }
  if (!ready) {
    dlclose(library.handle);
    return false;
  }
  bind_talloc_calls(library);
  return true;
}

std::unique_ptr<SambaLibrary> load_samba_library(const std::string& host) {
  const CredentialSources sources = credential_sources_of_process();
  SambaCredentials credentials = read_samba_credentials(sources);
  if (credentials.kind == SambaCredentials::kUnreadable) {
    say_why(std::string("cannot read PASSWD_FILE ") + sources.password_file + ": " +
            std::strerror(errno));
    return nullptr;
  }
  auto library = std::make_unique<SambaLibrary>();
  // The library first: nobody is asked for a password that could not be used.
  if (!open_library(*library)) {
    wipe(credentials.password);
    return nullptr;
  }
  // Before initialisation, which reads the environment.
  if (credentials.kind == SambaCredentials::kGuessed) decide_logon(credentials, sources, host);
  if (credentials.kind != SambaCredentials::kTicket) take_credentials_out_of_environment();
  bool signing = true;
  const bool ready = quietly([&] {
                       bool done = library->init(&library->context) == 0 &&
                                   library->context != nullptr &&
                                   apply_credentials(*library, credentials);
                       if (done)
                         signing = ask_for_signing_after_init(library->versions, library->context);
                       // Samba's own line for why a connection failed ("Connection to HOST failed
                       // (Error NT_STATUS_CONNECTION_REFUSED)") comes at level 1; runs that
                       // succeed stay silent there.
                       if (done && library->set_debug_level != nullptr)
                         library->set_debug_level(library->context, "1");
                       return done && signing ? kNetSuccess : kNetInternalError;
                     }) == kNetSuccess;
  wipe(credentials.password);
  if (!ready) {
    if (!signing) say_no_signing();
    if (library->context != nullptr) close_samba_library(*library);
    // The library stays mapped once initialised: its destructors run at exit and expect it.
    if (library->context == nullptr) dlclose(library->handle);
    return nullptr;
  }
  return library;
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
  // The text is talloc's to free: without talloc's calls, the table's number alone.
  if (library.error_string == nullptr || library.talloc_free == nullptr) return std::string();
  char* text = library.error_string(library.context, static_cast<NET_API_STATUS>(status));
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
