#include "platform/nss_group_directory.h"

#include <grp.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>

#include "base/wide_text.h"

namespace quillmot {

namespace {

// The reentrant calls return an error number; some modules (nss_wrapper) return -1 and leave the
// number in errno instead.
int status_of(int returned) {
  return returned == -1 ? errno : returned;
}

}  // namespace

NssGroupDirectory::~NssGroupDirectory() {
  close_database();
}

void NssGroupDirectory::close_database() {
  if (open_) endgrent();
  open_ = false;
  has_ahead_ = false;
}

// getgrent, not getgrent_r: when a group does not fit the caller's buffer, modules differ on what
// the next getgrent_r hands out (glibc's files module the same group again, nss_wrapper the one
// after it), so a caller of getgrent_r cannot grow its buffer and go on without reading the
// database again. getgrent leaves the buffer to the C library, which grows it and asks again
// where the module allows that, and to nss_wrapper, which serves it from its own copy. The
// program has one thread, and each group is copied before the next call.
NssGroupDirectory::Read NssGroupDirectory::read_next(GroupEntry* group) {
  // Past the end the switch would move on and ask its next service again.
  if (at_end_) return Read::kEnd;
  errno = 0;
  const ::group* entry = getgrent();
  if (entry == nullptr) {
    // The end leaves errno at 0 or ENOENT; anything else is a failure (ENOMEM among them).
    if (errno == 0 || errno == ENOENT) {
      at_end_ = true;
      return Read::kEnd;
    }
    error_ = errno;
    failure_ = errno == ENOMEM ? kNetErrorNotEnoughMemory : kNetInternalError;
    return Read::kFailed;
  }
  // Each byte of the name becomes the character of the same value.
  const std::string_view name(entry->gr_name);
  group->name.resize(name.size());
  for (size_t i = 0; i < name.size(); ++i)
    group->name[i] = static_cast<char16_t>(static_cast<unsigned char>(name[i]));
  group->comment.clear();
  group->group_id = static_cast<uint32_t>(entry->gr_gid);
  return Read::kGroup;
}

NetStatus NssGroupDirectory::start_at(ResumeHandle position) {
  close_database();
  setgrent();
  open_ = true;
  at_end_ = false;
  position_ = 0;
  failure_ = kNetSuccess;
  // The driver always goes on from where the last batch ended; any other position is reached by
  // reading up to it.
  GroupEntry skipped;
  while (position_ < position) {
    Read read = read_next(&skipped);
    if (read == Read::kFailed) return failure_;
    if (read == Read::kEnd) break;
    ++position_;
  }
  return kNetSuccess;
}

NetStatus NssGroupDirectory::NetGroupEnum(const std::u16string& /*server_name*/,
                                          uint32_t preferred_max_length, GroupBatch* batch,
                                          ResumeHandle* resume_handle) try {
  batch->entries.clear();
  batch->total_entries = 0;
  if (!open_ || *resume_handle == 0 || *resume_handle != position_) {
    NetStatus status = start_at(*resume_handle);
    if (status != kNetSuccess) {
      close_database();
      return status;
    }
  }
  size_t bytes = 0;
  GroupEntry group;
  for (;;) {
    if (has_ahead_) {
      group = std::move(ahead_);
      has_ahead_ = false;
    } else {
      Read read = read_next(&group);
      if (read == Read::kFailed) {
        close_database();
        return failure_;
      }
      if (read == Read::kEnd) break;
    }
    bytes += level2_entry_size(group.name.size(), 0);
    if (bytes > preferred_max_length && !batch->entries.empty()) {
      // The first group of the next batch: more remains.
      ahead_ = std::move(group);
      has_ahead_ = true;
      break;
    }
    batch->entries.push_back(std::move(group));
  }
  position_ += batch->entries.size();
  *resume_handle = position_;
  // A batch ends either with a group that did not fit, kept for the next one, or at the end.
  if (!has_ahead_) {
    close_database();
    batch->total_entries = static_cast<uint32_t>(batch->entries.size());
    return kNetSuccess;
  }
  // At least the group read ahead remains; how many more, only reading them would tell.
  batch->total_entries = static_cast<uint32_t>(batch->entries.size()) + 1;
  return kNetErrorMoreData;
} catch (const std::bad_alloc&) {
  close_database();
  return kNetErrorNotEnoughMemory;
}

NetStatus NssGroupDirectory::NetGroupGetInfo(const std::u16string& /*server_name*/,
                                             const std::u16string& group_name, GroupEntry* entry) {
  // A character that no byte stands for cannot name a local group.
  std::string name;
  if (!narrow_bytes(group_name, &name)) return kNetGroupNotFound;
  // A lookup by name can simply be asked again with more room when the group does not fit.
  std::string buffer(16 * 1024, '\0');
  group found;
  group* result = nullptr;
  for (;;) {
    int error = status_of(getgrnam_r(name.c_str(), &found, buffer.data(), buffer.size(), &result));
    if (error == ERANGE && buffer.size() < (size_t{1} << 30)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error == ENOENT || (error == 0 && result == nullptr)) return kNetGroupNotFound;
    if (error != 0) {
      error_ = error;
      return error == ENOMEM ? kNetErrorNotEnoughMemory : kNetInternalError;
    }
    break;
  }
  entry->name = widen_bytes(found.gr_name);
  entry->comment.clear();
  entry->group_id = static_cast<uint32_t>(found.gr_gid);
  return kNetSuccess;
}

// The C library's words for what the name service switch said; a name it has no group for is no
// error to it.
std::optional<std::string> NssGroupDirectory::failure_text(NetStatus status) {
  if (status == kNetGroupNotFound) return "not in the group database";
  if (status == kNetErrorNotEnoughMemory) return std::string(std::strerror(ENOMEM));
  if (error_ != 0) return std::string(std::strerror(error_));
  return std::string();
}

}  // namespace quillmot
