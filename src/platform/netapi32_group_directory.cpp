#include "platform/netapi32_group_directory.h"

// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on

#include <memory>

#include "platform/directory_text.h"

namespace quillmot {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows texts are 16-bit");

// The server name goes over as the text it is: an empty one asks the local machine, and is
// never replaced by a null reference.
const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string text_of(const wchar_t* text) {
  return text == nullptr ? std::u16string()
                         : std::u16string(reinterpret_cast<const char16_t*>(text));
}

GroupEntry to_entry(const GROUP_INFO_2& info) {
  return GroupEntry{text_of(info.grpi2_name), text_of(info.grpi2_comment), info.grpi2_group_id};
}

// A message of the system's, or of a module's message table, in UTF-8 (whatever the code page, as
// the program's lines are), without its line end; empty when there is none.
std::string message_text(DWORD status, HMODULE module) {
  const DWORD source = module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source,
                     module, status, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (text != nullptr) {
    append_directory_text(message, std::u16string_view(reinterpret_cast<char16_t*>(text), length));
    LocalFree(text);
  }
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

}  // namespace

std::optional<std::string> Netapi32GroupDirectory::failure_text(NetStatus status) {
  std::string text = message_text(status, nullptr);
  if (text.empty() && status >= NERR_BASE && status <= MAX_NERR) {
    HMODULE messages = LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (messages != nullptr) {
      text = message_text(status, messages);
      FreeLibrary(messages);
    }
  }
  return text;
}

NetStatus Netapi32GroupDirectory::NetGroupEnum(const std::u16string& server_name,
                                               uint32_t preferred_max_length, GroupBatch* batch,
                                               ResumeHandle* resume_handle) {
  batch->entries.clear();
  batch->total_entries = 0;
  LPBYTE buffer = nullptr;
  DWORD entries_read = 0;
  DWORD total_entries = 0;
  DWORD_PTR handle = static_cast<DWORD_PTR>(*resume_handle);
  NET_API_STATUS status = ::NetGroupEnum(wide(server_name), 2, &buffer, preferred_max_length,
                                         &entries_read, &total_entries, &handle);
  // Freed whatever happens while it is read.
  std::unique_ptr<BYTE, decltype(&NetApiBufferFree)> owned(buffer, &NetApiBufferFree);
  *resume_handle = handle;
  if (status != NERR_Success && status != ERROR_MORE_DATA) return status;
  if (buffer == nullptr) entries_read = 0;
  const auto* infos = reinterpret_cast<const GROUP_INFO_2*>(buffer);
  batch->entries.reserve(entries_read);
  for (DWORD i = 0; i < entries_read; ++i) batch->entries.push_back(to_entry(infos[i]));
  // Microsoft documents the total as a hint only; what the platform guarantees is the status:
  // ERROR_MORE_DATA while entries remain, NERR_Success with the last of them. The total handed
  // on says exactly that, so that an estimate that is off never ends a listing early or asks
  // past its end.
  batch->total_entries = status == NERR_Success ? entries_read : entries_read + 1;
  return status;
}

NetStatus Netapi32GroupDirectory::NetGroupGetInfo(const std::u16string& server_name,
                                                  const std::u16string& group_name,
                                                  GroupEntry* entry) {
  LPBYTE buffer = nullptr;
  NET_API_STATUS status = ::NetGroupGetInfo(
      wide(server_name), reinterpret_cast<const wchar_t*>(group_name.c_str()), 2, &buffer);
  std::unique_ptr<BYTE, decltype(&NetApiBufferFree)> owned(buffer, &NetApiBufferFree);
  if (status == NERR_Success && buffer != nullptr)
    *entry = to_entry(*reinterpret_cast<const GROUP_INFO_2*>(buffer));
  else if (status == NERR_Success)
    status = kNetInternalError;
  return status;
}

}  // namespace quillmot
