#include "platform/samba/samba_group_directory.h"

#include <vector>

#include "base/wide_text.h"
#include "platform/enumeration_guard.h"
#include "platform/samba/display_leftovers.h"
#include "platform/samba/samba_library.h"

namespace quillmot {

namespace {

// MAX_PREFERRED_LENGTH: no limit on a batch's size.
constexpr uint32_t kLargestBatch = 0xFFFFFFFF;

GroupEntry to_entry(const char* name, const char* comment, uint32_t group_id) {
  return GroupEntry{widen_bytes(name ? name : ""), widen_bytes(comment ? comment : ""), group_id};
}

// The lookup where the worker cannot be called: the public NetGroupGetInfo says whether the group
// exists and which identifier it has (its texts are already freed when it returns), and the
// texts come from an enumeration, by identifier. It costs a listing of the domain.
NetStatus find_through_enumeration(SambaLibrary& library, const std::string& host,
                                   const std::string& name, GroupEntry* entry) {
  uint32_t group_id = 0;
  {
    ResultBuffer buffer(library);
    NetStatus status = quietly(
        [&] { return library.group_get_info(host.c_str(), name.c_str(), 2, buffer.receive()); });
    if (status != kNetSuccess) return status;
    if (buffer.records<GROUP_INFO_2>() == nullptr) return kNetInternalError;
    group_id = buffer.records<GROUP_INFO_2>()->grpi2_group_id;
  }
  uint32_t resume_handle = 0;
  uint32_t delivered = 0;
  EnumerationGuard guard;
  for (;;) {
    ResultBuffer buffer(library);
    uint32_t entries_read = 0, total_entries = 0;
    // As large a batch as the server will give: the fewest calls and round trips.
    NetStatus status = quietly([&] {
      return library.group_enum(host.c_str(), 2, buffer.receive(), kLargestBatch, &entries_read,
                                &total_entries, &resume_handle);
    });
    if (status != kNetSuccess && status != kNetErrorMoreData) return status;
    if (buffer.records<GROUP_INFO_2>() == nullptr) entries_read = 0;
    for (uint32_t i = 0; i < entries_read; ++i) {
      const GROUP_INFO_2& group = buffer.records<GROUP_INFO_2>()[i];
      if (group.grpi2_group_id != group_id) continue;
      *entry = to_entry(group.grpi2_name, group.grpi2_comment, group.grpi2_group_id);
      return kNetSuccess;
    }
    if (status == kNetSuccess) return kNetGroupNotFound;
    const uint32_t remaining = remaining_entries(status, entries_read, total_entries, delivered);
    delivered += entries_read;
    if (!guard.may_go_on(resume_handle, entries_read, remaining)) return kNetGroupNotFound;
  }
}

// The lookup in a few round trips: the worker, inside a frame of ours that keeps its texts alive
// until they are copied. The buffer goes before the frame (it is declared after it).
NetStatus read_one_group(SambaLibrary& library, const std::string& host, const std::string& name,
                         GroupEntry* entry) {
  TallocFrame frame(library);
  if (!frame.pushed()) return kNetErrorNotEnoughMemory;
  ResultBuffer buffer(library);
  NetGroupGetInfoCall call{};
  call.in.server_name = host.c_str();
  call.in.group_name = name.c_str();
  call.in.level = 2;
  call.out.buffer = buffer.receive();
  NetStatus status = quietly([&] { return library.group_get_info_worker(library.context, &call); });
  if (status != kNetSuccess) return status;
  const GROUP_INFO_2* group = buffer.records<GROUP_INFO_2>();
  if (group == nullptr) return kNetInternalError;
  *entry = to_entry(group->grpi2_name, group->grpi2_comment, group->grpi2_group_id);
  return kNetSuccess;
}

}  // namespace

std::string samba_host_name(const std::u16string& server_name) {
  size_t start = server_name.find_first_not_of(u'\\');
  std::string host;
  if (start == std::u16string::npos) return host;
  if (!narrow_bytes(std::u16string_view(server_name).substr(start), &host)) host.clear();
  return host;
}

uint32_t remaining_entries(uint32_t status, uint32_t entries_read, uint32_t domain_total,
                           uint32_t delivered_before) {
  if (status == 0) return entries_read;
  uint32_t remaining = domain_total > delivered_before ? domain_total - delivered_before : 0;
  // More data was promised: the total must say so even where the server's count is off.
  return remaining > entries_read ? remaining : entries_read + 1;
}

SambaGroupDirectory::SambaGroupDirectory() = default;

SambaGroupDirectory::~SambaGroupDirectory() {
  // An orderly close says goodbye to the server and waits for its answer: on a connection that
  // has just timed out, another 20 s for nothing. After a failure the process ends soon anyway,
  // and the kernel closes the socket at once.
  if (library_ != nullptr && !call_failed_) close_samba_library(*library_);
}

NetStatus SambaGroupDirectory::outcome(NetStatus status) {
  if (status != kNetSuccess && status != kNetErrorMoreData) call_failed_ = true;
  return status;
}

SambaLibrary* SambaGroupDirectory::library(const std::string& host) {
  if (!load_tried_) {
    load_tried_ = true;
    host_ = host;
    library_ = load_samba_library(host);
  }
  return library_.get();
}

std::optional<std::string> SambaGroupDirectory::failure_text(NetStatus status) {
  if (status == kNetErrorInvalidComputer && host_.empty()) return "the server name names no host";
  // Loading the library has said why it failed.
  if (library_ == nullptr) return std::nullopt;
  std::string text = library_error_text(*library_, status);
  // The library says the same of a refused connection, an unknown host and a refused password
  // ("Failed to connect to IPC$ share on ...", 1003), leaving the cause to its own log line; a
  // name that does not resolve is told apart here.
  const bool not_connected = status == kNetErrorCannotComplete || status == kNetErrorBadNetPath ||
                             status == kNetErrorRpcUnavailable;
  if (not_connected) {
    if (std::string unknown = unresolvable_host(host_); !unknown.empty())
      text += (text.empty() ? "" : "; ") + host_ + ": " + unknown;
  }
  return text;
}

NetStatus SambaGroupDirectory::NetGroupEnum(const std::u16string& server_name,
                                            uint32_t preferred_max_length, GroupBatch* batch,
                                            ResumeHandle* resume_handle) {
  batch->entries.clear();
  batch->total_entries = 0;
  std::string host = samba_host_name(server_name);
  if (host.empty()) return kNetErrorInvalidComputer;
  SambaLibrary* lib = library(host);
  if (lib == nullptr) return kNetErrorBadNetPath;

  // The resume handle is the display index the next batch starts at; every one we hold came from
  // the library, in 32 bits.
  const uint32_t index = static_cast<uint32_t>(*resume_handle);
  DisplayLeftovers leftovers(*lib);
  ResultBuffer buffer(*lib);
  uint32_t entries_read = 0;
  NetStatus status = quietly([&] {
    return lib->query_display(host.c_str(), 3, index, kDisplayEntriesPerCall, preferred_max_length,
                              &entries_read, buffer.receive_untyped());
  });
  outcome(status);
  if (status != kNetSuccess && status != kNetErrorMoreData) return status;
  const NET_DISPLAY_GROUP* groups = buffer.records<NET_DISPLAY_GROUP>();
  if (groups == nullptr) entries_read = 0;
  batch->entries.reserve(entries_read);
  for (uint32_t i = 0; i < entries_read; ++i)
    batch->entries.push_back(
        to_entry(groups[i].grpi3_name, groups[i].grpi3_comment, groups[i].grpi3_group_id));
  if (entries_read > 0) *resume_handle = groups[entries_read - 1].grpi3_next_index;
  leftovers.free(groups, entries_read, buffer.records<void>());
  // No count of what remains comes with a display batch: the status says whether more does.
  batch->total_entries = remaining_entries(status, entries_read, 0, 0);
  return status;
}

NetStatus SambaGroupDirectory::NetGroupGetInfo(const std::u16string& server_name,
                                               const std::u16string& group_name,
                                               GroupEntry* entry) {
  std::string host = samba_host_name(server_name);
  if (host.empty()) return kNetErrorInvalidComputer;
  std::string name;
  if (!narrow_bytes(group_name, &name)) return kNetGroupNotFound;
  SambaLibrary* lib = library(host);
  if (lib == nullptr) return kNetErrorBadNetPath;
  if (lib->reads_one_group()) return outcome(read_one_group(*lib, host, name, entry));
  return outcome(find_through_enumeration(*lib, host, name, entry));
}

}  // namespace quillmot
