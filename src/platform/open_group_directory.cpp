#include <memory>

#include "platform/group_directory.h"
#include "platform/nss_group_directory.h"
#include "platform/samba/samba_group_directory.h"

namespace quillmot {

std::unique_ptr<GroupDirectory> open_group_directory(const std::u16string& server_name) {
  if (server_name.empty()) return std::make_unique<NssGroupDirectory>();
  return std::make_unique<SambaGroupDirectory>();
}

}  // namespace quillmot
