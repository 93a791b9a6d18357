#include "platform/nss_group_directory.h"

#include <grp.h>

#include <cerrno>
#include <new>
#include <string_view>

#include "base/wide_text.h"

namespace quillmot {

// Room for getgrent_r/getgrnam_r to unpack a group into; groups with many members need more, and
// the calls say so with ERANGE.
class GroupBuffer {
 public:
  char* data() { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  bool grow() {
    if (bytes_.size() >= (size_t{1} << 30)) return false;
    bytes_.resize(bytes_.size() * 2);
    return true;
  }

 private:
  std::string bytes_ = std::string(16 * 1024, '\0');
};

namespace {

// The reentrant calls return an error number; some modules (nss_wrapper) return -1 and leave the
// number in errno instead.
int status_of(int returned) {
  return returned == -1 ? errno : returned;
}

}  // namespace

NetStatus NssGroupDirectory::take_snapshot() try {
  GroupBuffer buffer;
  for (;;) {
    NetStatus status = read_database(buffer);
    if (status != kNetErrorMoreData) return status;
    // A group did not fit. Modules differ on whether the next call hands that group out again
    // (glibc) or skips it (nss_wrapper), so read the whole database again with more room.
    if (!buffer.grow()) return kNetErrorNotEnoughMemory;
  }
} catch (const std::bad_alloc&) {
  // The database is closed again, and what was read of it let go, before the failure is told.
  endgrent();
  names_ = std::string();
  name_ends_ = std::vector<uint32_t>();
  gids_ = std::vector<uint32_t>();
  have_snapshot_ = false;
  return kNetErrorNotEnoughMemory;
}

NetStatus NssGroupDirectory::read_database(GroupBuffer& buffer) {
  names_.clear();
  name_ends_.clear();
  gids_.clear();
  have_snapshot_ = false;
  group entry;
  group* result = nullptr;
  NetStatus status = kNetSuccess;
  setgrent();
  for (;;) {
    int error = status_of(getgrent_r(&entry, buffer.data(), buffer.size(), &result));
    // The end is ENOENT; some modules (nss_wrapper) leave the result pointer set with it.
    if (error == ENOENT || (error == 0 && result == nullptr)) break;
    if (error != 0) {
      status = error == ERANGE ? kNetErrorMoreData : kNetInternalError;
      break;
    }
    names_.append(entry.gr_name);
    name_ends_.push_back(static_cast<uint32_t>(names_.size()));
    gids_.push_back(static_cast<uint32_t>(entry.gr_gid));
  }
  endgrent();
  have_snapshot_ = status == kNetSuccess;
  return status;
}

NetStatus NssGroupDirectory::NetGroupEnum(const std::u16string& /*server_name*/,
                                          uint32_t preferred_max_length, GroupBatch* batch,
                                          ResumeHandle* resume_handle) {
  batch->entries.clear();
  batch->total_entries = 0;
  if (*resume_handle == 0 || !have_snapshot_) {
    NetStatus status = take_snapshot();
    if (status != kNetSuccess) return status;
  }
  const size_t count = gids_.size();
  size_t next = static_cast<size_t>(*resume_handle);
  if (next >= count) return kNetSuccess;

  batch->total_entries = static_cast<uint32_t>(count - next);
  size_t bytes = 0;
  for (; next < count; ++next) {
    size_t begin = next == 0 ? 0 : name_ends_[next - 1];
    std::string_view name(names_.data() + begin, name_ends_[next] - begin);
    bytes += level2_entry_size(name.size(), 0);
    if (bytes > preferred_max_length && !batch->entries.empty()) break;
    batch->entries.push_back(GroupEntry{widen_bytes(name), std::u16string(), gids_[next]});
  }
  *resume_handle = next;
  return next < count ? kNetErrorMoreData : kNetSuccess;
}

NetStatus NssGroupDirectory::NetGroupGetInfo(const std::u16string& /*server_name*/,
                                             const std::u16string& group_name, GroupEntry* entry) {
  // A character that no byte stands for cannot name a local group.
  std::string name;
  if (!narrow_bytes(group_name, &name)) return kNetGroupNotFound;
  GroupBuffer buffer;
  group found;
  group* result = nullptr;
  for (;;) {
    int error = status_of(getgrnam_r(name.c_str(), &found, buffer.data(), buffer.size(), &result));
    if (error == ERANGE && buffer.grow()) continue;
    if (error == ENOENT || (error == 0 && result == nullptr)) return kNetGroupNotFound;
    if (error != 0) return kNetInternalError;
    break;
  }
  entry->name = widen_bytes(found.gr_name);
  entry->comment.clear();
  entry->group_id = static_cast<uint32_t>(found.gr_gid);
  return kNetSuccess;
}

}  // namespace quillmot
