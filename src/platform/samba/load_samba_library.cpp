// Making libnetapi ready for a run, in named steps: who logs on (from the environment, once), the
// library opened and bound, signing asked for, the environment emptied of what the library would
// read for itself, the library initialised and told who logs on. The first step that fails says
// why in a line of its own, before the operation's error line, and ends the load.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/program_line.h"
#include "platform/raw_output.h"
#include "platform/samba/kerberos_ticket.h"
#include "platform/samba/library_call.h"
#include "platform/samba/samba_credentials.h"
#include "platform/samba/samba_library.h"
#include "platform/samba/terminal_password.h"

namespace quillmot {

namespace {

constexpr char kLibraryFile[] = "libnetapi.so.1";
// No way of asking this library for signed sessions: the run refuses rather than go on unsigned.
constexpr char kNoSigning[] = "cannot ask libnetapi.so.1 for signed sessions";

void say_why(const std::string& reason) {
  const std::string line = program_line(reason);
  write_all(STDERR_FILENO, line.data(), line.size());
}

// Who logs on when no password was given, decided before the library reads its environment, and
// the same with or without a terminal: the Kerberos ticket when there is a usable one and the
// server is named so that Kerberos can find it (its cache named for the library, which may resolve
// "default" differently from the kinit that wrote it); else the password typed at the terminal,
// which then counts as given; else an anonymous session, as USER='%' asks. Left to the library, a
// wrong or empty password would turn into an anonymous session behind the user's back.
void decide_logon(SambaCredentials& credentials, const CredentialSources& sources,
                  const std::string& host) {
  // Kerberos names a server by its host name; an address has no service ticket to ask for.
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

// What the library's own guess at initialisation reads (Samba's cli_credentials_guess, which
// libnetapi_init calls, the same in 4.17 and 4.22; 4.25's names no others): USER, PASSWD, PASSWD_FD
// and PASSWD_FILE. The program has decided who logs on from them; read again by the library, they
// would stand beside that decision (a password from a descriptor the program has already read, or
// cannot read, and an anonymous session in its place), and it crashes on USER='%'. So they go,
// passwords blanked in place first, as Samba's own tools do, so that they do not stay readable in
// the process's environment. LOGNAME and the account's name, which it reads too, only ever give a
// user name that the program sets over them (or that a ticket's principal stands over).
void take_credentials_out_of_environment() {
  if (char* user = std::getenv("USER"))
    if (char* percent = std::strchr(user, '%'))
      std::memset(percent + 1, 0, std::strlen(percent + 1));
  if (char* password = std::getenv("PASSWD")) std::memset(password, 0, std::strlen(password));
  for (const char* name : {"USER", "PASSWD", "PASSWD_FD", "PASSWD_FILE"}) unsetenv(name);
}

bool set_credentials(SambaLibrary& library, const SambaCredentials& credentials) {
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
             set_password_below_ticket(library, library.context, library.set_password);
    case SambaCredentials::kGuessed:
    case SambaCredentials::kUnreadable:
      break;
  }
  return false;
}

// The library opened, and what the program calls bound; why not, when it cannot be.
std::string open_library(SambaLibrary& library) {
  library.handle = dlopen(kLibraryFile, RTLD_NOW | RTLD_LOCAL);
  if (library.handle == nullptr) {
    const char* error = dlerror();
    return std::string("cannot load ") + kLibraryFile +
           " (package samba-libs): " + (error ? error : "not found");
  }
  void* handle = library.handle;
  const bool bound = find_call(handle, "libnetapi_init", &library.init) &&
                     find_call(handle, "libnetapi_free", &library.free_context) &&
                     find_call(handle, "libnetapi_set_username", &library.set_username) &&
                     find_call(handle, "libnetapi_set_password", &library.set_password) &&
                     find_call(handle, "libnetapi_set_use_kerberos", &library.set_use_kerberos) &&
                     find_call(handle, "NetGroupEnum", &library.group_enum) &&
                     find_call(handle, "NetGroupGetInfo", &library.group_get_info) &&
                     find_call(handle, "NetQueryDisplayInformation", &library.query_display) &&
                     find_call(handle, "NetApiBufferFree", &library.buffer_free);
  if (!bound) return std::string(kLibraryFile) + " lacks a call that quillmot needs";
  static_cast<VersionCalls&>(library) = find_version_calls(handle);
  // Signing, where it must be asked for before the library reads its configuration.
  if (!ask_for_signing_before_init(library)) return kNoSigning;
  return std::string();
}

// The steps that call into the library, with its standard output diverted; why the first that
// fails failed.
std::string initialise(SambaLibrary& library, const SambaCredentials& credentials) {
  LibraryOutputToStderr quiet;
  if (!quiet.diverted()) return "cannot set standard output aside while libnetapi.so.1 runs";
  const NET_API_STATUS status = library.init(&library.context);
  if (status != 0 || library.context == nullptr) {
    return std::string("cannot initialise ") + kLibraryFile + ": " +
           with_status(library_error_text(library, status), status);
  }
  if (!set_credentials(library, credentials))
    return std::string(kLibraryFile) + " did not take the credentials";
  if (!ask_for_signing_after_init(library, library.context)) return kNoSigning;
  // Samba's own line for why a connection failed ("Connection to HOST failed (Error
  // NT_STATUS_CONNECTION_REFUSED)") comes at level 1; runs that succeed stay silent there.
  if (library.set_debug_level != nullptr) library.set_debug_level(library.context, "1");
  return std::string();
}

}  // namespace

std::unique_ptr<SambaLibrary> load_samba_library(const std::string& host) {
  // Who logs on, from the environment as Samba's tools read it.
  const CredentialSources sources = credential_sources_of_process();
  SambaCredentials credentials = read_samba_credentials(sources);
  if (credentials.kind == SambaCredentials::kUnreadable) {
    say_why(credentials.problem);
    return nullptr;
  }
  // The library first: nobody is asked for a password that could not be used. Then who logs on
  // when the environment gave no password, and nothing left for the library to guess.
  auto library = std::make_unique<SambaLibrary>();
  std::string failed = open_library(*library);
  if (failed.empty()) {
    if (credentials.kind == SambaCredentials::kGuessed) decide_logon(credentials, sources, host);
    take_credentials_out_of_environment();
    failed = initialise(*library, credentials);
  }
  wipe(credentials.password);
  if (failed.empty()) return library;
  say_why(failed);
  if (library->context != nullptr) close_samba_library(*library);
  // The library stays mapped once initialised: its destructors run at exit and expect it.
  if (library->context == nullptr && library->handle != nullptr) dlclose(library->handle);
  return nullptr;
}

}  // namespace quillmot
