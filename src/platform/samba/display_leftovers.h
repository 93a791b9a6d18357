// What one display batch call (NetQueryDisplayInformation) leaves on libnetapi's long-lived
// context, which the library never frees: kept, a listing would hold every group of the domain
// until the end (48 MiB at 30,000 groups, whatever the batch size).
//
// The call puts there the reply as the RPC layer decoded it, the array the texts were first copied
// into, and the texts themselves; on its first call it also puts the connection and the domain's
// identity there, which every later call uses (and which may be made again if the library
// reconnects). So nothing is freed for being new or for its talloc name, which is a source path
// as the library's build spelt it: only what holds this batch, as the reply's layout
// (netapi_worker.h) says it does. Two 4-byte counts of each reply stay (about 250 bytes a batch),
// as nothing in them tells them from the connection's own.
#pragma once

#include <cstdint>
#include <vector>

// clang-format off
#include <stdint.h>
#include <samba-4.0/netapi.h>
// clang-format on

namespace quillmot {

struct SambaLibrary;

class DisplayLeftovers {
 public:
  // Notes what the context holds before the call.
  explicit DisplayLeftovers(SambaLibrary& library);

  // After the call: frees what holds the batch `groups` (of `count` entries), leaving the result
  // buffer itself to NetApiBufferFree; all of it when the context holds the whole shape (every
  // text the batch points to, the one first copy, the one decoded reply), else nothing.
  void free(const NET_DISPLAY_GROUP* groups, uint32_t count, const void* buffer);

 private:
  bool is_first_copy(const void* child, const NET_DISPLAY_GROUP* groups, uint32_t count) const;
  bool is_decoded_reply(const void* child, const NET_DISPLAY_GROUP* groups, uint32_t count) const;

  SambaLibrary& library_;
  std::vector<const void*> before_;
};

}  // namespace quillmot
