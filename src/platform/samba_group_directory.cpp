#include "platform/samba_group_directory.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// netapi.h uses the fixed-width types without including their header.
// clang-format off
#include <stdint.h>
#include <samba-4.0/netapi.h>
// clang-format on

#include "base/wide_text.h"
#include "platform/enumeration_guard.h"
#include "platform/kerberos_ticket.h"
#include "platform/samba_credentials.h"

namespace quillmot {

struct SambaLibrary {
  void* handle = nullptr;
  libnetapi_ctx* context = nullptr;
  decltype(&::libnetapi_init) init = nullptr;
  decltype(&::libnetapi_free) free_context = nullptr;
  decltype(&::libnetapi_get_password) get_password = nullptr;
  decltype(&::libnetapi_set_username) set_username = nullptr;
  decltype(&::libnetapi_set_password) set_password = nullptr;
  decltype(&::libnetapi_set_use_kerberos) set_use_kerberos = nullptr;
  decltype(&::NetGroupEnum) group_enum = nullptr;
  decltype(&::NetGroupGetInfo) group_get_info = nullptr;
  decltype(&::NetApiBufferFree) buffer_free = nullptr;
};

namespace {

constexpr char kLibraryFile[] = "libnetapi.so.1";
// MAX_PREFERRED_LENGTH: no limit on a batch's size.
constexpr uint32_t kLargestBatch = 0xFFFFFFFF;

// libnetapi talks on standard output ("Anonymous login successful", password prompts). While it
// runs, its standard output is standard error, so that standard output carries records only. The
// program opens descriptors 0 to 2 before anything else, so the saved copy is always above them;
// it is close-on-exec so that no helper the library starts inherits our standard output.
class LibraryOutputToStderr {
 public:
  LibraryOutputToStderr() {
    std::fflush(stdout);
    saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0) return;
    if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      close(saved_);
      saved_ = -1;
    }
  }
  ~LibraryOutputToStderr() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    while (dup2(saved_, STDOUT_FILENO) < 0 && errno == EINTR) {
    }
    close(saved_);
  }
  LibraryOutputToStderr(const LibraryOutputToStderr&) = delete;
  LibraryOutputToStderr& operator=(const LibraryOutputToStderr&) = delete;

  // False when standard output could not be set aside: the library must not be called then.
  bool diverted() const { return saved_ >= 0; }

 private:
  int saved_ = -1;
};

// A result buffer of the library, freed exactly once whatever happens while it is read.
class ResultBuffer {
 public:
  explicit ResultBuffer(SambaLibrary& library) : library_(library) {}
  ~ResultBuffer() {
    if (data_ != nullptr) library_.buffer_free(data_);
  }
  ResultBuffer(const ResultBuffer&) = delete;
  ResultBuffer& operator=(const ResultBuffer&) = delete;

  uint8_t** receive() { return &data_; }
  const GROUP_INFO_2* groups() const { return reinterpret_cast<const GROUP_INFO_2*>(data_); }

 private:
  SambaLibrary& library_;
  uint8_t* data_ = nullptr;
};

// Calls the library with its standard output diverted; a failed call when it cannot be.
template <typename Call>
NetStatus quietly(Call call) {
  LibraryOutputToStderr quiet;
  if (!quiet.diverted()) return kNetInternalError;
  return call();
}

// One NetGroupEnum call at level 2. On success `buffer` holds the batch and `entries_read` counts
// its records (none when the library gave no buffer).
NetStatus enumerate_batch(SambaLibrary& library, const std::string& host,
                          uint32_t preferred_max_length, uint32_t* resume_handle,
                          ResultBuffer& buffer, uint32_t* entries_read, uint32_t* total_entries) {
  *entries_read = 0;
  *total_entries = 0;
  NetStatus status = quietly([&] {
    return library.group_enum(host.c_str(), 2, buffer.receive(), preferred_max_length, entries_read,
                              total_entries, resume_handle);
  });
  if (buffer.groups() == nullptr) *entries_read = 0;
  return status;
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

bool apply_credentials(SambaLibrary& library, SambaCredentials& credentials) {
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
    case SambaCredentials::kGuessed: {
      // With no password the library would ask for one; a script has nobody to answer, so with
      // no terminal it goes on with an empty one, or with the Kerberos ticket cache when there
      // is one.
      const char* password = nullptr;
      library.get_password(library.context, &password);
      if ((password == nullptr || *password == '\0') && !isatty(STDIN_FILENO)) {
        if (std::getenv("KRB5CCNAME") != nullptr) library.set_use_kerberos(library.context);
        library.set_password(library.context, "");
      }
      return true;
    }
    case SambaCredentials::kUnreadable:
      break;
  }
  return false;
}

std::unique_ptr<SambaLibrary> load_library() {
  SambaCredentials credentials = read_samba_credentials(credential_sources_of_process());
  if (credentials.kind == SambaCredentials::kUnreadable) return nullptr;
  if (credentials.kind == SambaCredentials::kGuessed) {
    // A ticket that a plain kinit left in the default cache, named so that the library (which
    // may resolve "default" differently from the kinit that wrote it) finds the same one.
    if (std::getenv("KRB5CCNAME") == nullptr && !isatty(STDIN_FILENO)) {
      std::string cache = default_ticket_cache();
      if (!cache.empty()) setenv("KRB5CCNAME", cache.c_str(), 1);
    }
  } else {
    take_credentials_out_of_environment();
  }

  auto library = std::make_unique<SambaLibrary>();
  library->handle = dlopen(kLibraryFile, RTLD_NOW | RTLD_LOCAL);
  bool bound = library->handle != nullptr &&
               bind(library->handle, "libnetapi_init", &library->init) &&
               bind(library->handle, "libnetapi_free", &library->free_context) &&
               bind(library->handle, "libnetapi_get_password", &library->get_password) &&
               bind(library->handle, "libnetapi_set_username", &library->set_username) &&
               bind(library->handle, "libnetapi_set_password", &library->set_password) &&
               bind(library->handle, "libnetapi_set_use_kerberos", &library->set_use_kerberos) &&
               bind(library->handle, "NetGroupEnum", &library->group_enum) &&
               bind(library->handle, "NetGroupGetInfo", &library->group_get_info) &&
               bind(library->handle, "NetApiBufferFree", &library->buffer_free);
  bound = bound && quietly([&] {
                     bool ready = library->init(&library->context) == 0 &&
                                  library->context != nullptr &&
                                  apply_credentials(*library, credentials);
                     return ready ? kNetSuccess : kNetInternalError;
                   }) == kNetSuccess;
  wipe(credentials.password);
  if (!bound) {
    if (library->context != nullptr)
      quietly([&] { return library->free_context(library->context); });
    // The library stays mapped once initialised: its destructors run at exit and expect it.
    if (library->handle != nullptr && library->context == nullptr) dlclose(library->handle);
    return nullptr;
  }
  return library;
}

GroupEntry to_entry(const GROUP_INFO_2& info) {
  return GroupEntry{widen_bytes(info.grpi2_name ? info.grpi2_name : ""),
                    widen_bytes(info.grpi2_comment ? info.grpi2_comment : ""), info.grpi2_group_id};
}

}  // namespace

std::string samba_host_name(const std::u16string& server_name) {
  size_t start = server_name.find_first_not_of(u'\\');
  std::string host;
  if (start == std::u16string::npos) return host;
  if (!narrow_bytes(std::u16string_view(server_name).substr(start), &host)) host.clear();
  return host;
}

uint32_t remaining_entries(uint32_t status, uint32_t entries_read, uint32_t domain_total,
                           uint32_t delivered_before) {
  if (status == 0) return entries_read;
  uint32_t remaining = domain_total > delivered_before ? domain_total - delivered_before : 0;
  // More data was promised: the total must say so even where the server's count is off.
  return remaining > entries_read ? remaining : entries_read + 1;
}

SambaGroupDirectory::SambaGroupDirectory() = default;

SambaGroupDirectory::~SambaGroupDirectory() {
  if (library_ == nullptr) return;
  quietly([&] { return library_->free_context(library_->context); });
  // The library stays mapped: its destructors run at exit and expect it there.
}

SambaLibrary* SambaGroupDirectory::library() {
  if (!load_tried_) {
    load_tried_ = true;
    library_ = load_library();
  }
  return library_.get();
}

NetStatus SambaGroupDirectory::NetGroupEnum(const std::u16string& server_name,
                                            uint32_t preferred_max_length, GroupBatch* batch,
                                            ResumeHandle* resume_handle) {
  batch->entries.clear();
  batch->total_entries = 0;
  std::string host = samba_host_name(server_name);
  if (host.empty()) return kNetErrorInvalidComputer;
  SambaLibrary* lib = library();
  if (lib == nullptr) return kNetErrorBadNetPath;
  if (*resume_handle == 0) delivered_ = 0;

  ResultBuffer buffer(*lib);
  uint32_t entries_read, total_entries;
  // libnetapi's handles are 32 bits; every one we hold came from it.
  uint32_t handle = static_cast<uint32_t>(*resume_handle);
  NetStatus status = enumerate_batch(*lib, host, preferred_max_length, &handle, buffer,
                                     &entries_read, &total_entries);
  *resume_handle = handle;
  if (status != kNetSuccess && status != kNetErrorMoreData) return status;
  batch->entries.reserve(entries_read);
  for (uint32_t i = 0; i < entries_read; ++i)
    batch->entries.push_back(to_entry(buffer.groups()[i]));

  batch->total_entries = remaining_entries(status, entries_read, total_entries, delivered_);
  delivered_ += entries_read;
  return status;
}

NetStatus SambaGroupDirectory::NetGroupGetInfo(const std::u16string& server_name,
                                               const std::u16string& group_name,
                                               GroupEntry* entry) {
  std::string host = samba_host_name(server_name);
  if (host.empty()) return kNetErrorInvalidComputer;
  std::string name;
  if (!narrow_bytes(group_name, &name)) return kNetGroupNotFound;
  SambaLibrary* lib = library();
  if (lib == nullptr) return kNetErrorBadNetPath;

  // libnetapi (4.17) hands a looked-up group's name and comment back in memory it has already
  // freed; only the identifier in the record itself can be trusted. The lookup says whether the
  // group exists and which identifier it has; the texts come from the enumeration, by identifier.
  uint32_t group_id = 0;
  {
    ResultBuffer buffer(*lib);
    NetStatus status = quietly(
        [&] { return lib->group_get_info(host.c_str(), name.c_str(), 2, buffer.receive()); });
    if (status != kNetSuccess) return status;
    if (buffer.groups() == nullptr) return kNetInternalError;
    group_id = buffer.groups()->grpi2_group_id;
  }
  return find_by_id(*lib, host, group_id, entry);
}

NetStatus SambaGroupDirectory::find_by_id(SambaLibrary& lib, const std::string& host,
                                          uint32_t group_id, GroupEntry* entry) {
  uint32_t resume_handle = 0;
  uint32_t delivered = 0;
  EnumerationGuard guard;
  for (;;) {
    ResultBuffer buffer(lib);
    uint32_t entries_read, total_entries;
    // As large a batch as the server will give: the fewest calls and round trips. A domain
    // controller answers with the whole domain at once whatever is asked; a classic server
    // answers in as few batches as it can.
    NetStatus status = enumerate_batch(lib, host, kLargestBatch, &resume_handle, buffer,
                                       &entries_read, &total_entries);
    if (status != kNetSuccess && status != kNetErrorMoreData) return status;
    for (uint32_t i = 0; i < entries_read; ++i) {
      if (buffer.groups()[i].grpi2_group_id != group_id) continue;
      *entry = to_entry(buffer.groups()[i]);
      return kNetSuccess;
    }
    if (status == kNetSuccess) return kNetGroupNotFound;
    const uint32_t remaining = remaining_entries(status, entries_read, total_entries, delivered);
    delivered += entries_read;
    if (!guard.may_go_on(resume_handle, entries_read, remaining)) return kNetGroupNotFound;
  }
}

}  // namespace quillmot
