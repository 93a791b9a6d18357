#include "platform/samba_group_directory.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// netapi.h uses the fixed-width types without including their header.
// clang-format off
#include <stdint.h>
#include <samba-4.0/netapi.h>
// clang-format on

#include "listing/text_stream.h"

namespace quillmot {

struct SambaLibrary {
  void* handle = nullptr;
  libnetapi_ctx* context = nullptr;
  decltype(&::libnetapi_init) init = nullptr;
  decltype(&::libnetapi_free) free_context = nullptr;
  decltype(&::libnetapi_get_password) get_password = nullptr;
  decltype(&::libnetapi_set_password) set_password = nullptr;
  decltype(&::libnetapi_set_use_kerberos) set_use_kerberos = nullptr;
  decltype(&::NetGroupEnum) group_enum = nullptr;
  decltype(&::NetGroupGetInfo) group_get_info = nullptr;
  decltype(&::NetApiBufferFree) buffer_free = nullptr;
};

namespace {

constexpr char kLibraryFile[] = "libnetapi.so.1";

// libnetapi talks on standard output ("Anonymous login successful", password prompts). While it
// runs, its standard output is standard error, so that standard output carries records only.
class LibraryOutputToStderr {
 public:
  LibraryOutputToStderr() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  ~LibraryOutputToStderr() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  LibraryOutputToStderr(const LibraryOutputToStderr&) = delete;
  LibraryOutputToStderr& operator=(const LibraryOutputToStderr&) = delete;

 private:
  int saved_ = -1;
};

template <typename Function>
bool bind(void* handle, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(dlsym(handle, name));
  return *function != nullptr;
}

std::unique_ptr<SambaLibrary> load_library() {
  auto library = std::make_unique<SambaLibrary>();
  library->handle = dlopen(kLibraryFile, RTLD_NOW | RTLD_LOCAL);
  bool bound = library->handle != nullptr &&
               bind(library->handle, "libnetapi_init", &library->init) &&
               bind(library->handle, "libnetapi_free", &library->free_context) &&
               bind(library->handle, "libnetapi_get_password", &library->get_password) &&
               bind(library->handle, "libnetapi_set_password", &library->set_password) &&
               bind(library->handle, "libnetapi_set_use_kerberos", &library->set_use_kerberos) &&
               bind(library->handle, "NetGroupEnum", &library->group_enum) &&
               bind(library->handle, "NetGroupGetInfo", &library->group_get_info) &&
               bind(library->handle, "NetApiBufferFree", &library->buffer_free);
  if (bound) {
    LibraryOutputToStderr quiet;
    bound = library->init(&library->context) == 0 && library->context != nullptr;
  }
  if (!bound) {
    if (library->handle != nullptr) dlclose(library->handle);
    return nullptr;
  }
  // The library takes USER, PASSWD and PASSWD_FILE from the environment as Samba's tools do. With
  // no password it would ask for one; a script has nobody to answer, so with no terminal it goes
  // on with an empty one, or with the Kerberos ticket cache when there is one.
  const char* password = nullptr;
  library->get_password(library->context, &password);
  if ((password == nullptr || *password == '\0') && !isatty(STDIN_FILENO)) {
    if (std::getenv("KRB5CCNAME") != nullptr) library->set_use_kerberos(library->context);
    library->set_password(library->context, "");
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
  {
    LibraryOutputToStderr quiet;
    library_->free_context(library_->context);
  }
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
                                            uint32_t* resume_handle) {
  batch->entries.clear();
  batch->total_entries = 0;
  std::string host = samba_host_name(server_name);
  if (host.empty()) return kNetErrorInvalidComputer;
  SambaLibrary* lib = library();
  if (lib == nullptr) return kNetErrorBadNetPath;
  if (*resume_handle == 0) delivered_ = 0;

  uint8_t* buffer = nullptr;
  uint32_t entries_read = 0;
  uint32_t total_entries = 0;
  NetStatus status;
  {
    LibraryOutputToStderr quiet;
    status = lib->group_enum(host.c_str(), 2, &buffer, preferred_max_length, &entries_read,
                             &total_entries, resume_handle);
  }
  if ((status == kNetSuccess || status == kNetErrorMoreData) && buffer != nullptr) {
    const auto* infos = reinterpret_cast<const GROUP_INFO_2*>(buffer);
    batch->entries.reserve(entries_read);
    for (uint32_t i = 0; i < entries_read; ++i) batch->entries.push_back(to_entry(infos[i]));
  } else {
    entries_read = 0;
  }
  if (buffer != nullptr) lib->buffer_free(buffer);
  if (status != kNetSuccess && status != kNetErrorMoreData) return status;

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
  uint8_t* buffer = nullptr;
  NetStatus status;
  {
    LibraryOutputToStderr quiet;
    status = lib->group_get_info(host.c_str(), name.c_str(), 2, &buffer);
  }
  uint32_t group_id = 0;
  if (status == kNetSuccess && buffer != nullptr)
    group_id = reinterpret_cast<const GROUP_INFO_2*>(buffer)->grpi2_group_id;
  else if (status == kNetSuccess)
    status = kNetInternalError;
  if (buffer != nullptr) lib->buffer_free(buffer);
  if (status != kNetSuccess) return status;
  return find_by_id(*lib, host, group_id, entry);
}

NetStatus SambaGroupDirectory::find_by_id(SambaLibrary& lib, const std::string& host,
                                          uint32_t group_id, GroupEntry* entry) {
  uint32_t resume_handle = 0;
  for (;;) {
    uint8_t* buffer = nullptr;
    uint32_t entries_read = 0;
    uint32_t total_entries = 0;
    const uint32_t started_at = resume_handle;
    NetStatus status;
    {
      LibraryOutputToStderr quiet;
      status = lib.group_enum(host.c_str(), 2, &buffer, kPreferredMaxLength, &entries_read,
                              &total_entries, &resume_handle);
    }
    bool found = false;
    if ((status == kNetSuccess || status == kNetErrorMoreData) && buffer != nullptr) {
      const auto* infos = reinterpret_cast<const GROUP_INFO_2*>(buffer);
      for (uint32_t i = 0; i < entries_read && !found; ++i) {
        if (infos[i].grpi2_group_id != group_id) continue;
        *entry = to_entry(infos[i]);
        found = true;
      }
    }
    if (buffer != nullptr) lib.buffer_free(buffer);
    if (found) return kNetSuccess;
    if (status != kNetErrorMoreData) return status == kNetSuccess ? kNetGroupNotFound : status;
    if (entries_read == 0 && resume_handle == started_at) return kNetGroupNotFound;
  }
}

}  // namespace quillmot
