// The worker behind libnetapi's public NetGroupGetInfo, which the program calls itself.
//
// The public call pushes a talloc stack frame, has the worker fill a level-2 record whose texts
// the worker allocates on that frame, frees the frame and returns the record: its name and comment
// then point into freed memory (Samba 4.17, and still in Samba's current sources). Called inside a
// frame that the program pushes itself and frees only after it has copied the texts, the same
// worker gives one group in a few round trips, whatever the domain's size.
//
// libnetapi exports the worker (NetGroupGetInfo_r, symbol version NETAPI_1.0.0) but does not
// install the header that declares it; this is the record that Samba's interface description
// generates for NetGroupGetInfo, declared here and only here.
#pragma once

#include <cstddef>
#include <cstdint>

struct libnetapi_ctx;

namespace quillmot {

struct NetGroupGetInfoCall {
  struct {
    const char* server_name;
    const char* group_name;
    uint32_t level;
  } in;
  struct {
    uint8_t** buffer;
    uint32_t result;  // NET_API_STATUS, an enumeration of 32 bits
  } out;
};

// WERROR NetGroupGetInfo_r(struct libnetapi_ctx*, struct NetGroupGetInfo*): a WERROR is a 32-bit
// code, or a structure holding one, returned in the same register either way.
using NetGroupGetInfoWorker = uint32_t (*)(libnetapi_ctx* context, NetGroupGetInfoCall* call);

// A display batch's reply as the RPC layer decodes it at level 3 (samr_DispInfoFullGroups and
// samr_DispEntryFullGroup in the gen_ndr/samr.h that samba-dev installs, generated from samr.idl,
// whose layout every Samba shares). That header cannot be included beside netapi.h: both define
// struct GUID.
struct DisplayReplyText {
  uint16_t length, size;
  const char* text;
};
struct DisplayReplyEntry {
  uint32_t idx;  // the display index of the entry after it
  uint32_t rid;
  uint32_t acct_flags;
  DisplayReplyText account_name, description;
};
struct DisplayReply {
  uint32_t count;
  DisplayReplyEntry* entries;
};

// talloc's own entry points behind the talloc_stackframe() and talloc_free() macros: the first in
// libsamba-util.so.0, the second in libtalloc.so.2, both loaded with libnetapi.
using TallocStackframe = void* (*)(const char* location);
using TallocFree = int (*)(void* pointer, const char* location);

// talloc's public walk over a tree (talloc_report_depth_cb) and the size of what it holds
// (talloc_get_size): how the program finds what a batch call left on the library's context.
using TallocVisit = void (*)(const void* pointer, int depth, int max_depth, int is_reference,
                             void* data);
using TallocWalk = void (*)(const void* pointer, int depth, int max_depth, TallocVisit visit,
                            void* data);
using TallocSize = size_t (*)(const void* pointer);

}  // namespace quillmot
