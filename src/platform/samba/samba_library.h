// Samba's libnetapi, opened at run time, initialised, and told who logs on; and the few rules
// every call into it follows: its standard output is standard error while it runs, and every
// result buffer it hands out is freed once.
#pragma once

// netapi.h uses the fixed-width types without including their header.
// clang-format off
#include <stdint.h>
#include <samba-4.0/netapi.h>
// clang-format on

#include <memory>
#include <string>
#include <vector>

#include "platform/group_directory.h"
#include "platform/samba/samba_versions.h"

namespace quillmot {

// The calls every supported libnetapi has, and those only some have (VersionCalls).
struct SambaLibrary : VersionCalls {
  void* handle = nullptr;
  libnetapi_ctx* context = nullptr;
  decltype(&::libnetapi_init) init = nullptr;
  decltype(&::libnetapi_free) free_context = nullptr;
  decltype(&::libnetapi_set_username) set_username = nullptr;
  decltype(&::libnetapi_set_password) set_password = nullptr;
  decltype(&::libnetapi_set_use_kerberos) set_use_kerberos = nullptr;
  decltype(&::NetGroupEnum) group_enum = nullptr;
  decltype(&::NetGroupGetInfo) group_get_info = nullptr;
  decltype(&::NetQueryDisplayInformation) query_display = nullptr;
  decltype(&::NetApiBufferFree) buffer_free = nullptr;
};

// The children of a talloc object of the library's (and theirs, down to `depth` levels), as talloc
// holds them.
std::vector<const void*> talloc_children(const SambaLibrary& library, const void* parent,
                                         int depth = 1);

// Opens libnetapi.so.1, initialises it and sets who logs on at `host`, step by step
// (load_samba_library.cpp); null, with a line saying which step failed and why, when one does.
std::unique_ptr<SambaLibrary> load_samba_library(const std::string& host);

// What the library says of a status: its last error string for it, else its table's text (the
// table's alone while there is no context); empty when it says nothing.
std::string library_error_text(SambaLibrary& library, NetStatus status);

// An IPv4 or IPv6 address rather than a host name.
bool is_address(const std::string& host);

// The resolver's reason when `host` does not resolve; empty when it does (or is an address).
std::string unresolvable_host(const std::string& host);

// Frees the library's context; the library itself stays mapped, as its destructors run at exit.
void close_samba_library(SambaLibrary& library);

// While one stands, the library's standard output is standard error, so that what it prints
// ("Anonymous login successful", prompts) never mixes with records.
class LibraryOutputToStderr {
 public:
  LibraryOutputToStderr();
  ~LibraryOutputToStderr();
  LibraryOutputToStderr(const LibraryOutputToStderr&) = delete;
  LibraryOutputToStderr& operator=(const LibraryOutputToStderr&) = delete;

  // False when standard output could not be set aside: the library must not be called then.
  bool diverted() const { return saved_ >= 0; }

 private:
  int saved_ = -1;
};

// Calls the library with its standard output diverted; a failed call when it cannot be.
template <typename Call>
NetStatus quietly(Call call) {
  LibraryOutputToStderr quiet;
  if (!quiet.diverted()) return kNetInternalError;
  return call();
}

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
  void** receive_untyped() { return reinterpret_cast<void**>(&data_); }
  template <typename Record>
  const Record* records() const {
    return reinterpret_cast<const Record*>(data_);
  }

 private:
  SambaLibrary& library_;
  uint8_t* data_ = nullptr;
};

// A talloc stack frame of the program's own: what the library allocates on the top frame while it
// stands lives until it goes. Declare it before anything that reads that memory.
class TallocFrame {
 public:
  explicit TallocFrame(SambaLibrary& library)
      : library_(library), frame_(library.push_frame(__FILE__)) {}
  ~TallocFrame() {
    if (frame_ != nullptr) library_.talloc_free(frame_, __FILE__);
  }
  TallocFrame(const TallocFrame&) = delete;
  TallocFrame& operator=(const TallocFrame&) = delete;

  bool pushed() const { return frame_ != nullptr; }

 private:
  SambaLibrary& library_;
  void* frame_;
};

}  // namespace quillmot
