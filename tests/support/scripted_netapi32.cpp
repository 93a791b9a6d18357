// A scripted stand-in for Windows' netapi32.dll, cross-built with mingw-w64 from the Windows SDK's
// declarations (lmaccess.h, lmapibuf.h), and loaded by the Windows program under Wine in place of
// Wine's own: the DLL beside the program, with a native-first override. It replays the replies of
// a script (netapi_script.h) and logs every call, so that the Windows backend's batches, resume
// handles, totals, wide texts and buffer frees are tested; Wine's own netapi32 refuses both calls.
//
// QUILLMOT_NETAPI_SCRIPT names the script and QUILLMOT_NETAPI_LOG the log, as Windows paths.
// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "netapi_script.h"

namespace {

using quillmot::testing::NetapiScript;
using quillmot::testing::ScriptedEntry;

std::map<void*, int> live_buffers;
int buffers_made = 0;

NetapiScript& loaded() {
  return quillmot::testing::the_script();
}

void log(const std::string& line) {
  quillmot::testing::log_call(line);
}

std::wstring from_utf8(const std::string& text) {
  if (text.empty()) return {};
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// A server name as the log shows it: in brackets, or (null) for a null reference.
std::string shown(LPCWSTR text) {
  if (text == nullptr) return "(null)";
  std::string utf8;
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size > 1) {
    utf8.resize(static_cast<size_t>(size - 1));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  }
  return "[" + utf8 + "]";
}

// One block, as netapi32 hands out: the records, then their texts.
LPBYTE make_buffer(const std::vector<ScriptedEntry>& entries) {
  std::vector<std::wstring> names, comments;
  size_t size = entries.size() * sizeof(GROUP_INFO_2) + sizeof(wchar_t);
  for (const ScriptedEntry& e : entries) {
    names.push_back(from_utf8(e.name));
    comments.push_back(from_utf8(e.comment));
    size += (names.back().size() + comments.back().size() + 2) * sizeof(wchar_t);
  }
  auto* block = static_cast<LPBYTE>(std::malloc(size));
  auto* infos = reinterpret_cast<GROUP_INFO_2*>(block);
  auto* text = reinterpret_cast<wchar_t*>(block + entries.size() * sizeof(GROUP_INFO_2));
  for (size_t i = 0; i < entries.size(); ++i) {
    infos[i].grpi2_name = text;
    std::memcpy(text, names[i].c_str(), (names[i].size() + 1) * sizeof(wchar_t));
    text += names[i].size() + 1;
    infos[i].grpi2_comment = text;
    std::memcpy(text, comments[i].c_str(), (comments[i].size() + 1) * sizeof(wchar_t));
    text += comments[i].size() + 1;
    infos[i].grpi2_group_id = entries[i].id;
    infos[i].grpi2_attributes = 7;
  }
  live_buffers[block] = ++buffers_made;
  log("buffer " + std::to_string(buffers_made));
  return block;
}

}  // namespace

extern "C" {

__declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
  auto found = live_buffers.find(buffer);
  if (found == live_buffers.end()) {
    log("free unknown");
    return NERR_Success;
  }
  log("free " + std::to_string(found->second));
  live_buffers.erase(found);
  std::free(buffer);
  return NERR_Success;
}

__declspec(dllexport) NET_API_STATUS WINAPI
    NetGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                 LPDWORD entriesread, LPDWORD totalentries, PDWORD_PTR resume_handle) {
  log("enum " + shown(servername) + " " + std::to_string(level) + " " + std::to_string(prefmaxlen) +
      " " + std::to_string(*resume_handle));
  const auto* reply = loaded().next();
  if (reply == nullptr) return ERROR_UNEXP_NET_ERR;
  *bufptr = make_buffer(reply->entries);
  *entriesread = static_cast<DWORD>(reply->entries.size());
  *totalentries = reply->total;
  *resume_handle = static_cast<DWORD_PTR>(reply->next_handle);
  return reply->status;
}

__declspec(dllexport) NET_API_STATUS WINAPI
    NetGroupGetInfo(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE* bufptr) {
  const std::string name = shown(groupname);
  log("lookup " + shown(servername) + " " + name + " " + std::to_string(level));
  auto found = loaded().lookups.find(name.substr(1, name.size() - 2));
  if (found == loaded().lookups.end()) return NERR_GroupNotFound;
  if (found->second.status != 0) return found->second.status;
  *bufptr = make_buffer({{found->second.id, found->first, found->second.comment}});
  return NERR_Success;
}

}  // extern "C"
