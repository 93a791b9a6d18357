#include "program/open_group_directory.h"

#ifdef _WIN32
#include "platform/netapi32_group_directory.h"
#else
#include "platform/nss_group_directory.h"
#include "platform/samba/samba_group_directory.h"
#endif

namespace quillmot {

std::unique_ptr<GroupDirectory> open_group_directory(const std::u16string& server_name) {
#ifdef _WIN32
  (void)server_name;
  return std::make_unique<Netapi32GroupDirectory>();
#else
  if (server_name.empty()) return std::make_unique<NssGroupDirectory>();
  return std::make_unique<SambaGroupDirectory>();
#endif
}

}  // namespace quillmot
