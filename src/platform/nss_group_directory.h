// The local machine's group database through the C library's name service switch (/etc/group,
// LDAP, SSSD, winbind: whatever nsswitch.conf names). Group identifier = gid, comment = empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/group_directory.h"

namespace quillmot {

class GroupBuffer;

class NssGroupDirectory : public GroupDirectory {
 public:
  NetStatus NetGroupEnum(const std::u16string& server_name, uint32_t preferred_max_length,
                         GroupBatch* batch, ResumeHandle* resume_handle) override;
  NetStatus NetGroupGetInfo(const std::u16string& server_name, const std::u16string& group_name,
                            GroupEntry* entry) override;

 private:
  NetStatus take_snapshot();
  NetStatus read_database(GroupBuffer& buffer);

  // The database is read whole at the first call and served from here, so that every batch can
  // say exactly how much remains and the listing is one consistent picture. Names are kept as
  // the bytes NSS gave, back to back, to keep the footprint near the database's own size.
  bool have_snapshot_ = false;
  std::string names_;
  std::vector<uint32_t> name_ends_;
  std::vector<uint32_t> gids_;
};

}  // namespace quillmot
