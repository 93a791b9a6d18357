// The local machine's group database through the C library's name service switch (/etc/group,
// LDAP, SSSD, winbind: whatever nsswitch.conf names). Group identifier = gid, comment = empty.
#pragma once

#include <cstdint>
#include <string>

#include "platform/group_directory.h"

namespace quillmot {

class NssGroupDirectory : public GroupDirectory {
 public:
  ~NssGroupDirectory() override;

  NetStatus NetGroupEnum(const std::u16string& server_name, uint32_t preferred_max_length,
                         GroupBatch* batch, ResumeHandle* resume_handle) override;
  NetStatus NetGroupGetInfo(const std::u16string& server_name, const std::u16string& group_name,
                            GroupEntry* entry) override;
  std::optional<std::string> failure_text(NetStatus status) override;

 private:
  enum class Read { kGroup, kEnd, kFailed };

  NetStatus start_at(ResumeHandle position);
  Read read_next(GroupEntry* group);
  void close_database();

  // The database is read as a stream, one pass from start to end, and never held whole: memory
  // stays that of one batch whatever the number of groups. To tell whether a batch holds all that
  // remains, the group after it is read ahead and kept for the next batch.
  bool open_ = false;
  bool at_end_ = false;
  ResumeHandle position_ = 0;  // how many groups the stream has handed out, read-ahead aside
  // A plain member and a flag rather than std::optional, whose destructor GCC 14 takes for a read
  // of uninitialised strings.
  GroupEntry ahead_;
  bool has_ahead_ = false;
  NetStatus failure_ = kNetSuccess;
  int error_ = 0;  // the C library's error number behind the last failure, where it gave one
};

}  // namespace quillmot
