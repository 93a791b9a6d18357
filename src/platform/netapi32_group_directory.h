// The Network Management API of Windows itself (netapi32): the local machine for an empty server
// name, as on Windows, or a named server.
#pragma once

#include <string>

#include "platform/group_directory.h"

namespace quillmot {

class Netapi32GroupDirectory : public GroupDirectory {
 public:
  NetStatus NetGroupEnum(const std::u16string& server_name, uint32_t preferred_max_length,
                         GroupBatch* batch, ResumeHandle* resume_handle) override;
  NetStatus NetGroupGetInfo(const std::u16string& server_name, const std::u16string& group_name,
                            GroupEntry* entry) override;
  // Windows' own text for the status: the system's messages, and netmsg.dll's for the network
  // management range (2100 to 2999), where the system has none.
  std::optional<std::string> failure_text(NetStatus status) override;
};

}  // namespace quillmot
