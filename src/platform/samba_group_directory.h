// A named server's groups through Samba's libnetapi, the Network Management API over SMB.
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

 private:
  SambaLibrary* library();
  NetStatus find_by_id(SambaLibrary& lib, const std::string& host, uint32_t group_id,
                       GroupEntry* entry);

  std::unique_ptr<SambaLibrary> library_;
  bool load_tried_ = false;
  // Samba reports the domain's whole group count as the total of every batch; what remains is
  // that count less what earlier batches of the same enumeration delivered.
  uint32_t delivered_ = 0;
};

// libnetapi wants the bare host name: it cannot connect to \\srv. Drops the leading backslashes
// and narrows byte by byte (the name came from the command line's bytes); empty when nothing
// names a host.
std::string samba_host_name(const std::u16string& server_name);

// The total the interface promises (what remains from the resume position, this batch
// included), from what Samba said: a status, a batch size and the domain's whole group count.
uint32_t remaining_entries(uint32_t status, uint32_t entries_read, uint32_t domain_total,
                           uint32_t delivered_before);

}  // namespace quillmot
