// A named server's groups through Samba's libnetapi, the Network Management API over SMB.
//
// A listing comes in batches of a bounded number of entries (NetQueryDisplayInformation at level
// 3), because a domain controller answers NetGroupEnum with the whole domain in one reply,
// whatever batch size is asked for. A lookup reads the one group through the worker behind
// NetGroupGetInfo (netapi_worker.h), in a few round trips whatever the domain's size.
//
// The library is loaded only when a server is named: linking it pulls in about 120 shared
// libraries, which would slow down every local run and even -v.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/group_directory.h"

namespace quillmot {

struct SambaLibrary;

class SambaGroupDirectory : public GroupDirectory {
 public:
  SambaGroupDirectory();
  ~SambaGroupDirectory() override;

  NetStatus NetGroupEnum(const std::u16string& server_name, uint32_t preferred_max_length,
                         GroupBatch* batch, ResumeHandle* resume_handle) override;
  NetStatus NetGroupGetInfo(const std::u16string& server_name, const std::u16string& group_name,
                            GroupEntry* entry) override;
  // libnetapi's text for the status, which names what failed (its last error string, else its
  // table's text), and for a host name that does not resolve, the resolver's reason.
  std::optional<std::string> failure_text(NetStatus status) override;

 private:
  SambaLibrary* library(const std::string& host);

  // What a call returned, noting a failure.
  NetStatus outcome(NetStatus status);

  std::unique_ptr<SambaLibrary> library_;
  bool load_tried_ = false;
  std::string host_;
  // A call failed: the session is not closed in order at the end, as the connection may be dead.
  bool call_failed_ = false;
};

// How many groups a listing asks for in one call. A domain controller honours the count (and
// ignores the size in bytes); a classic server honours both (and never gives more than 1,024), so
// there the preferred size cuts batches smaller. Measured at 30,013 groups against the test DC:
// 500, 1,000, 2,000 and 4,000 a call all take the wall time of rpcclient's one reply (6.9 to
// 7.1 s against 7.2 s), with a peak of 21.7, 22.7, 24.4 and 27.9 MiB against its 29.8 MiB; 1,024
// makes 30 calls, few enough for a real network, at the memory of about 1,000.
constexpr uint32_t kDisplayEntriesPerCall = 1024;

// libnetapi wants the bare host name: it cannot connect to \\srv. Drops the leading backslashes
// and narrows byte by byte (the name came from the command line's bytes); empty when nothing
// names a host.
std::string samba_host_name(const std::u16string& server_name);

// The total the interface promises (what remains from the resume position, this batch
// included), from what Samba said: a status, a batch size and the domain's whole group count.
uint32_t remaining_entries(uint32_t status, uint32_t entries_read, uint32_t domain_total,
                           uint32_t delivered_before);

}  // namespace quillmot
