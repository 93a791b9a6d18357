// A scripted stand-in for Samba's libnetapi.so.1, built from netapi.h's declarations and loaded by
// the program exactly as the real library is (first on LD_LIBRARY_PATH). It replays the replies of
// a script file and logs every call, so that the remote directory's handling of what a real server
// cannot be made to do (endless replies, odd totals, huge batches) is tested without a server.
//
// QUILLMOT_NETAPI_SCRIPT names the script (netapi_script.h);
// QUILLMOT_NETAPI_LOG names the log: one line per call, buffers by number.
#include <fcntl.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <samba-4.0/netapi.h>

#include "netapi_script.h"

namespace {

using quillmot::testing::NetapiScript;
using quillmot::testing::ScriptedEntry;

std::map<void*, int> live_buffers;
int buffers_made = 0;
int own_fds[2] = {-1, -1};
std::string username, password;
char context_token;

NetapiScript& loaded() {
  return quillmot::testing::the_script();
}

void log(const std::string& line) {
  quillmot::testing::log_call(line);
}

std::string env_or_dash(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "-";
}

// The descriptors of the process other than 0 to 2 and the double's own, each with whether it
// is closed on exec; and whether standard output is standard error just now.
std::string descriptor_report() {
  std::string report;
  struct stat out_stat {
  }, err_stat{};
  const bool diverted = fstat(1, &out_stat) == 0 && fstat(2, &err_stat) == 0 &&
                        out_stat.st_dev == err_stat.st_dev && out_stat.st_ino == err_stat.st_ino;
  report += diverted ? "diverted" : "not-diverted";
  for (int fd = 3; fd < 256; ++fd) {
    if (fd == own_fds[0] || fd == own_fds[1]) continue;
    int flags = fcntl(fd, F_GETFD);
    if (flags < 0) continue;
    report += " " + std::to_string(fd) + (flags & FD_CLOEXEC ? ":cloexec" : ":inherited");
  }
  return report;
}

uint8_t* make_buffer(const std::vector<ScriptedEntry>& entries) {
  size_t size = entries.size() * sizeof(GROUP_INFO_2) + 1;
  for (const ScriptedEntry& e : entries) size += e.name.size() + e.comment.size() + 2;
  auto* block = static_cast<uint8_t*>(std::malloc(size));
  auto* infos = reinterpret_cast<GROUP_INFO_2*>(block);
  char* text = reinterpret_cast<char*>(block + entries.size() * sizeof(GROUP_INFO_2));
  for (size_t i = 0; i < entries.size(); ++i) {
    std::memcpy(text, entries[i].name.c_str(), entries[i].name.size() + 1);
    infos[i].grpi2_name = text;
    text += entries[i].name.size() + 1;
    std::memcpy(text, entries[i].comment.c_str(), entries[i].comment.size() + 1);
    infos[i].grpi2_comment = text;
    text += entries[i].comment.size() + 1;
    infos[i].grpi2_group_id = entries[i].id;
    infos[i].grpi2_attributes = 7;
  }
  live_buffers[block] = ++buffers_made;
  log("buffer " + std::to_string(buffers_made));
  return block;
}

NET_API_STATUS status(uint32_t value) {
  return static_cast<NET_API_STATUS>(value);
}

void chatter(const char* text) {
  // Through stdio, unflushed, as Samba prints.
  if (loaded().chatter) std::printf("%s", text);
}

}  // namespace

extern "C" {

NET_API_STATUS libnetapi_init(struct libnetapi_ctx** ctx) {
  NetapiScript& s = loaded();
  // The real library crashes here on USER='%' (a null password taken for a text).
  const char* user = std::getenv("USER");
  if (user != nullptr && std::strchr(user, '%') != nullptr) std::raise(SIGSEGV);
  // Like the real library's sockets and files, taking the lowest free descriptors.
  socketpair(AF_UNIX, SOCK_STREAM, 0, own_fds);
  log("init fds " + std::to_string(own_fds[0]) + " " + std::to_string(own_fds[1]) +
      " USER=" + env_or_dash("USER") + " PASSWD=" + env_or_dash("PASSWD") +
      " PASSWD_FILE=" + env_or_dash("PASSWD_FILE") + " KRB5CCNAME=" + env_or_dash("KRB5CCNAME"));
  if (const char* p = std::getenv("PASSWD")) password = p;
  chatter("Anonymous login successful\n");
  *ctx = reinterpret_cast<libnetapi_ctx*>(&context_token);
  return status(s.init_status);
}

NET_API_STATUS libnetapi_free(struct libnetapi_ctx*) {
  log("free_context");
  return status(0);
}

NET_API_STATUS libnetapi_get_password(struct libnetapi_ctx*, const char** result) {
  *result = password.empty() ? nullptr : password.c_str();
  return status(0);
}

NET_API_STATUS libnetapi_set_username(struct libnetapi_ctx*, const char* name) {
  username = name;
  log("set_username " + username);
  return status(0);
}

NET_API_STATUS libnetapi_set_password(struct libnetapi_ctx*, const char* secret) {
  password = secret;
  log("set_password " + password);
  return status(0);
}

NET_API_STATUS libnetapi_set_use_kerberos(struct libnetapi_ctx*) {
  log("set_use_kerberos");
  return status(0);
}

NET_API_STATUS NetApiBufferFree(void* buffer) {
  auto found = live_buffers.find(buffer);
  if (found == live_buffers.end()) {
    log("free unknown");
    return status(0);
  }
  log("free " + std::to_string(found->second));
  live_buffers.erase(found);
  std::free(buffer);
  return status(0);
}

NET_API_STATUS NetGroupEnum(const char* server_name, uint32_t level, uint8_t** buffer,
                            uint32_t prefmaxlen, uint32_t* entries_read, uint32_t* total_entries,
                            uint32_t* resume_handle) {
  NetapiScript& s = loaded();
  log("enum " + std::string(server_name) + " " + std::to_string(level) + " " +
      std::to_string(prefmaxlen) + " " + std::to_string(*resume_handle) + " " +
      descriptor_report());
  chatter("enumerating\n");
  const auto* reply = s.next();
  if (reply == nullptr) return status(59);  // an unexpected network error
  *buffer = make_buffer(reply->entries);
  *entries_read = static_cast<uint32_t>(reply->entries.size());
  *total_entries = reply->total;
  *resume_handle = static_cast<uint32_t>(reply->next_handle);
  return status(reply->status);
}

NET_API_STATUS NetGroupGetInfo(const char* server_name, const char* group_name, uint32_t level,
                               uint8_t** buffer) {
  NetapiScript& s = loaded();
  log("lookup " + std::string(server_name) + " " + group_name + " " + std::to_string(level));
  auto found = s.lookups.find(group_name);
  if (found == s.lookups.end()) return status(2220);
  if (found->second.status != 0) return status(found->second.status);
  // The real library's texts here point into memory it has freed; these say so if written.
  *buffer = make_buffer({{found->second.id, "freed name", "freed comment"}});
  return status(0);
}

}  // extern "C"
