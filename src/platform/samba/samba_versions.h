// What differs between the Samba versions the program supports (4.17, Debian 12, on), kept in
// this one place, each with the versions that need it: the calls only some libraries have or do
// not declare, how signing and a ticket's empty password are set, and where a display batch's
// decoded reply keeps its entries.
#pragma once

// clang-format off
#include <stdint.h>
#include <samba-4.0/netapi.h>
// clang-format on

#include "platform/samba/netapi_worker.h"

namespace quillmot {

// The calls looked up once the library is open; null where this library lacks one.
struct VersionCalls {
  // Samba 4.22 on: the credentials the library made for itself at initialisation, from smb.conf
  // and the environment (public, libnetapi_get_creds), and credentials.h's setters for them.
  void* get_credentials = nullptr;
  void* set_signing = nullptr;
  void* set_password_on_credentials = nullptr;
  // Every version from 4.17 to 4.25: the configuration's command-line layer, where Samba's tools
  // put their options (libsmbconf's store_lp_set_cmdline, internal; lp_set_cmdline, which Quillmot
  // 0.6 called, is gone from 4.20).
  void* store_override = nullptr;

  // 4.17, 4.22 and 4.25 export all of these; a libnetapi built otherwise may lack any of them, and
  // then does without what needs it. The worker behind NetGroupGetInfo (exported, its header not
  // installed) and talloc's frames, to read one group (netapi_worker.h).
  NetGroupGetInfoWorker group_get_info_worker = nullptr;
  TallocStackframe push_frame = nullptr;
  TallocFree talloc_free = nullptr;
  // talloc's walk and sizes, to free what a batch call leaves on the context.
  TallocWalk talloc_walk = nullptr;
  TallocSize talloc_size = nullptr;
  // The text of a status, and of the last error where the library noted one; Samba's own lines
  // at a debug level.
  decltype(&::libnetapi_get_error_string) error_string = nullptr;
  decltype(&::libnetapi_errstr) status_text = nullptr;
  decltype(&::libnetapi_set_debuglevel) set_debug_level = nullptr;

  bool hands_out_credentials() const {
    return get_credentials != nullptr && set_signing != nullptr &&
           set_password_on_credentials != nullptr;
  }
  bool reads_one_group() const {
    return group_get_info_worker != nullptr && push_frame != nullptr && talloc_free != nullptr;
  }
  bool walks_its_context() const {
    return talloc_walk != nullptr && talloc_size != nullptr && talloc_free != nullptr;
  }
};

VersionCalls find_version_calls(void* library_handle);

// Signed sessions. Samba signs a session only where the server insists unless it is told
// otherwise; its own tools sign theirs. Unsigned, a reply altered on the way would be taken for
// records (a group renamed, an identifier changed, a batch's "more entries" turned into the end).
// An anonymous session has no key to sign with and goes on unsigned, as theirs do.
//
// Where the library hands out its credentials (4.22 on), the setting goes on them. Before 4.22 no
// public call reaches them, and credentials of our own in their place (libnetapi_set_creds) would
// lose what the library reads from smb.conf and the Kerberos cache when it makes them; so the
// setting goes into the command-line layer, over smb.conf, before the library reads it. The first
// half is false when the library offers neither way; each is true when it has nothing to do.
bool ask_for_signing_before_init(const VersionCalls& calls);
bool ask_for_signing_after_init(const VersionCalls& calls, libnetapi_ctx* context);

// A session on a Kerberos ticket with an empty password, so that the library never asks for one.
// Samba 4.22's Kerberos client takes a password that stands higher than the ticket cache found at
// initialisation for one to get a new ticket with, and one set through libnetapi_set_password
// does; so where the credentials are handed out, the empty password goes on them at the standing
// of a guess, below the cache's. Before 4.22 it goes through libnetapi_set_password, which Samba
// 4.17's client reads as no password at all.
bool set_password_below_ticket(const VersionCalls& calls, libnetapi_ctx* context,
                               decltype(&::libnetapi_set_password) set_password);

// How deep below the decoded reply of a display batch its entries lie: a grandchild, below a part
// of the decoder's, in Samba 4.17 and 4.22 alike, and in 4.25 as tried by hand
// (display_leftovers.h). A library that keeps them elsewhere has nothing freed.
constexpr int kDisplayEntriesDepth = 2;

}  // namespace quillmot
