#include "platform/samba/samba_versions.h"

#include <cstdint>

#include "platform/samba/library_call.h"

namespace quillmot {

namespace {

struct cli_credentials;

// From netapi.h (4.22 on) and credentials.h; the enumerations' values as Samba defines them
// (SMB_SIGNING_REQUIRED in libcli/smb/smb_constants.h, the standings of enum
// credentials_obtained in credentials.h), unchanged since Samba 4.0.
using GetCredentials = uint32_t (*)(libnetapi_ctx* context, cli_credentials** credentials);
using SetSigning = bool (*)(cli_credentials* credentials, int signing, int obtained);
using SetPassword = bool (*)(cli_credentials* credentials, const char* password, int obtained);
using StoreOverride = bool (*)(const char* name, const char* value);
constexpr int kSigningRequired = 3;
constexpr int kObtainedGuessedFromEnvironment = 3;
constexpr int kObtainedSpecified = 6;

template <typename Function>
Function as(void* symbol) {
  return reinterpret_cast<Function>(symbol);
}

cli_credentials* library_credentials(const VersionCalls& calls, libnetapi_ctx* context) {
  cli_credentials* credentials = nullptr;
  if (as<GetCredentials>(calls.get_credentials)(context, &credentials) != 0) return nullptr;
  return credentials;
}

}  // namespace

VersionCalls find_version_calls(void* library_handle) {
  // Found through libnetapi's handle, which searches the libraries it loaded too.
  const auto find = [library_handle](const char* name, auto* call) {
    find_call(library_handle, name, call);
  };
  VersionCalls calls;
  find("libnetapi_get_creds", &calls.get_credentials);
  find("cli_credentials_set_smb_signing", &calls.set_signing);
  find("cli_credentials_set_password", &calls.set_password_on_credentials);
  find("store_lp_set_cmdline", &calls.store_override);
  find("NetGroupGetInfo_r", &calls.group_get_info_worker);
  find("_talloc_stackframe", &calls.push_frame);
  find("_talloc_free", &calls.talloc_free);
  find("talloc_report_depth_cb", &calls.talloc_walk);
  find("talloc_get_size", &calls.talloc_size);
  find("libnetapi_get_error_string", &calls.error_string);
  find("libnetapi_errstr", &calls.status_text);
  find("libnetapi_set_debuglevel", &calls.set_debug_level);
  return calls;
}

bool ask_for_signing_before_init(const VersionCalls& calls) {
  if (calls.hands_out_credentials()) return true;
  return calls.store_override != nullptr &&
         as<StoreOverride>(calls.store_override)("client signing", "required");
}

bool ask_for_signing_after_init(const VersionCalls& calls, libnetapi_ctx* context) {
  if (!calls.hands_out_credentials()) return true;
  cli_credentials* credentials = library_credentials(calls, context);
  return credentials != nullptr &&
         as<SetSigning>(calls.set_signing)(credentials, kSigningRequired, kObtainedSpecified);
}

bool set_password_below_ticket(const VersionCalls& calls, libnetapi_ctx* context,
                               decltype(&::libnetapi_set_password) set_password) {
  if (!calls.hands_out_credentials()) return set_password(context, "") == 0;
  cli_credentials* credentials = library_credentials(calls, context);
  return credentials != nullptr && as<SetPassword>(calls.set_password_on_credentials)(
                                       credentials, "", kObtainedGuessedFromEnvironment);
}

}  // namespace quillmot
