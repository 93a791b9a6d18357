#include "platform/netapi32_group_directory.h"

// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on

#include <memory>

namespace quillmot {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows texts are 16-bit");

// The API takes a null reference for the local machine; an empty text asks the same.
const wchar_t* wide(const std::u16string& text) {
  return text.empty() ? nullptr : reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string text_of(const wchar_t* text) {
  return text == nullptr ? std::u16string()
                         : std::u16string(reinterpret_cast<const char16_t*>(text));
}

GroupEntry to_entry(const GROUP_INFO_2& info) {
  return GroupEntry{text_of(info.grpi2_name), text_of(info.grpi2_comment), info.grpi2_group_id};
}

}  // namespace

NetStatus Netapi32GroupDirectory::NetGroupEnum(const std::u16string& server_name,
                                               uint32_t preferred_max_length, GroupBatch* batch,
                                               uint32_t* resume_handle) {
  batch->entries.clear();
  batch->total_entries = 0;
  LPBYTE buffer = nullptr;
  DWORD entries_read = 0;
  DWORD total_entries = 0;
  DWORD_PTR handle = *resume_handle;
  NET_API_STATUS status = ::NetGroupEnum(wide(server_name), 2, &buffer, preferred_max_length,
                                         &entries_read, &total_entries, &handle);
  if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer != nullptr) {
    const auto* infos = reinterpret_cast<const GROUP_INFO_2*>(buffer);
    for (DWORD i = 0; i < entries_read; ++i) batch->entries.push_back(to_entry(infos[i]));
    batch->total_entries = total_entries;
    // More was promised: the total must say so.
    if (status == ERROR_MORE_DATA && batch->total_entries <= entries_read)
      batch->total_entries = entries_read + 1;
  }
  if (buffer != nullptr) NetApiBufferFree(buffer);
  *resume_handle = static_cast<uint32_t>(handle);
  return status;
}

NetStatus Netapi32GroupDirectory::NetGroupGetInfo(const std::u16string& server_name,
                                                  const std::u16string& group_name,
                                                  GroupEntry* entry) {
  LPBYTE buffer = nullptr;
  NET_API_STATUS status = ::NetGroupGetInfo(
      wide(server_name), reinterpret_cast<const wchar_t*>(group_name.c_str()), 2, &buffer);
  if (status == NERR_Success && buffer != nullptr)
    *entry = to_entry(*reinterpret_cast<const GROUP_INFO_2*>(buffer));
  else if (status == NERR_Success)
    status = kNetInternalError;
  if (buffer != nullptr) NetApiBufferFree(buffer);
  return status;
}

std::unique_ptr<GroupDirectory> open_group_directory(const std::u16string& /*server_name*/) {
  return std::make_unique<Netapi32GroupDirectory>();
}

}  // namespace quillmot
