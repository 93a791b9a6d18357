// A scripted stand-in for Samba's libnetapi.so.1, built from netapi.h's declarations and loaded by
// the program exactly as the real library is (first on LD_LIBRARY_PATH). It replays the replies of
// a script file and logs every call, so that the remote directory's handling of what a real server
// cannot be made to do (endless replies, odd totals, huge batches) is tested without a server.
//
// It keeps the real library's lifetimes: the worker behind NetGroupGetInfo (NetGroupGetInfo_r)
// puts a group's texts on the caller's top talloc stack frame, freed with that frame; the public
// NetGroupGetInfo frees them before it returns, so that a program reading them fails under the
// sanitizers. Built with QUILLMOT_WITHOUT_WORKER, it lacks the worker and the frame calls, as
// another libnetapi may; with QUILLMOT_WITHOUT_CREDENTIALS_GETTER (as Samba before 4.22) or
// QUILLMOT_WITHOUT_CONFIGURATION_OVERRIDE, a way of asking for signed sessions. Built with
// QUILLMOT_OTHER_LAYOUT, it is a library that lays a batch out otherwise (the decoded reply's
// entries a level deeper) and keeps each batch's texts for itself, reading them again at the next
// call: a program that frees any of them there reads freed memory.
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

// The real library's context is a talloc object, and what it leaves there is modelled here: each
// child with its parent and size. A display batch leaves its decoded reply (holding its entries),
// the reply's two counts, the array the texts were first copied into and the texts, none of which
// the library ever frees; the first call also leaves the connection and the domain's identity,
// which later calls use. Never destroyed: what a run leaves there stays reachable until the leak
// checker has looked.
struct Child {
  const void* parent;
  size_t size;
  bool state;  // the connection's, which the program must never free
};
std::map<const void*, Child>& context_children = *new std::map<const void*, Child>;

void* talloc_child(const void* parent, size_t size, bool state = false) {
  void* block = std::calloc(1, size + 1);
  context_children[block] = {parent, size, state};
  return block;
}

void free_child(const void* pointer) {
  for (auto it = context_children.begin(); it != context_children.end();)
    it = it->second.parent == pointer ? (free_child(it->first), context_children.begin()) : ++it;
  context_children.erase(pointer);
  std::free(const_cast<void*>(pointer));
}

// True while the connection's state is on the context; false once the program has freed it.
bool connection_state_intact() {
  size_t found = 0;
  for (const auto& child : context_children) found += child.second.state;
  return found == 3;
}

int buffers_made = 0;
int own_fds[2] = {-1, -1};
std::string username, password;
char context_token;
[[maybe_unused]] char credentials_token;
std::string last_server;

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

// talloc stack frames: each holds the texts allocated on it while it was the top one.
struct Frame {
  std::vector<char*> texts;
};
std::vector<Frame*> frames;

char* copy_text(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

[[maybe_unused]] void free_frame(Frame* frame) {
  for (char* text : frame->texts) std::free(text);
  delete frame;
}

// A NetGroupGetInfo reply at level 2: the record in a buffer of its own, the texts on the top
// frame (or, with no frame, freed at once: what is left of them when the public call returns).
uint32_t look_up(const char* server_name, const char* group_name, uint32_t level, uint8_t** buffer,
                 const char* how) {
  log(std::string(how) + " " + server_name + " " + group_name + " " + std::to_string(level));
  const auto* found = loaded().lookup(group_name);
  if (found == nullptr) return 2220;
  if (found->second.status != 0) return found->second.status;
  *buffer = make_buffer({{found->second.id, "", ""}});
  auto* info = reinterpret_cast<GROUP_INFO_2*>(*buffer);
  char* name = copy_text(found->first);
  char* comment = copy_text(found->second.comment);
  info->grpi2_name = name;
  info->grpi2_comment = comment;
  if (frames.empty()) {
    std::free(name);
    std::free(comment);
  } else {
    frames.back()->texts.push_back(name);
    frames.back()->texts.push_back(comment);
  }
  return 0;
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
      " PASSWD_FD=" + env_or_dash("PASSWD_FD") + " PASSWD_FILE=" + env_or_dash("PASSWD_FILE") +
      " KRB5CCNAME=" + env_or_dash("KRB5CCNAME"));
  if (const char* p = std::getenv("PASSWD")) password = p;
  chatter("Anonymous login successful\n");
  *ctx = reinterpret_cast<libnetapi_ctx*>(&context_token);
  return status(s.init_status);
}

// The ways of asking for signed sessions, each built in or left out as a Samba version has them.
#ifndef QUILLMOT_WITHOUT_CREDENTIALS_GETTER
// Samba 4.22's: the credentials the library made for itself (which exist once it is initialised),
// and credentials.h's setter.
NET_API_STATUS libnetapi_get_creds(struct libnetapi_ctx* ctx, struct cli_credentials** creds) {
  log("get_creds");
  if (ctx != reinterpret_cast<libnetapi_ctx*>(&context_token)) return status(87);
  *creds = reinterpret_cast<cli_credentials*>(&credentials_token);
  return status(0);
}

bool cli_credentials_set_smb_signing(struct cli_credentials* creds, int signing, int obtained) {
  log("set_smb_signing " + std::to_string(signing) + " " + std::to_string(obtained));
  return creds == reinterpret_cast<cli_credentials*>(&credentials_token);
}

bool cli_credentials_set_password(struct cli_credentials* creds, const char* secret, int obtained) {
  log("credentials_set_password " + std::string(secret) + " " + std::to_string(obtained));
  return creds == reinterpret_cast<cli_credentials*>(&credentials_token);
}
#endif

#ifndef QUILLMOT_WITHOUT_CONFIGURATION_OVERRIDE
// libsmbconf's, which the real library loads: the configuration's command-line layer.
bool store_lp_set_cmdline(const char* name, const char* value) {
  log(std::string("store_lp_set_cmdline ") + name + " = " + value);
  return true;
}
#endif

NET_API_STATUS libnetapi_free(struct libnetapi_ctx*) {
  size_t leftovers = 0;
  for (const auto& child : context_children)
    if (child.second.parent == &context_token && !child.second.state) ++leftovers;
  log("context holds " + std::to_string(leftovers) + " leftovers");
  // Freeing the context frees all it holds.
  while (!context_children.empty()) free_child(context_children.begin()->first);
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
  return status(loaded().refuse_credentials ? 87 : 0);
}

NET_API_STATUS libnetapi_set_password(struct libnetapi_ctx*, const char* secret) {
  password = secret;
  log("set_password " + password);
  return status(loaded().refuse_credentials ? 87 : 0);
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
  context_children.erase(buffer);
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
  // The real wrapper pushes a frame of its own and frees it before returning.
  std::vector<Frame*> callers;
  callers.swap(frames);
  uint32_t result = look_up(server_name, group_name, level, buffer, "lookup");
  callers.swap(frames);
  return status(result);
}

NET_API_STATUS NetQueryDisplayInformation(const char* server_name, uint32_t level, uint32_t idx,
                                          uint32_t entries_requested, uint32_t prefmaxlen,
                                          uint32_t* entries_read, void** buffer) {
  NetapiScript& s = loaded();
  last_server = server_name;
  log("display " + std::string(server_name) + " " + std::to_string(level) + " " +
      std::to_string(idx) + " " + std::to_string(entries_requested) + " " +
      std::to_string(prefmaxlen) + " " + descriptor_report());
  chatter("enumerating\n");
  if (context_children.empty()) {
    // The connection, and the domain's identity: one part of the reply's size whose first field
    // is a batch's count and whose second is no pointer at all, and one of a count's size.
    talloc_child(&context_token, 32, true);
    auto* identity = static_cast<uint32_t*>(talloc_child(&context_token, 16, true));
    identity[0] = static_cast<uint32_t>(s.replies.empty() ? 0 : s.replies[0].entries.size());
    identity[2] = 1;
    talloc_child(&context_token, 4, true);
  } else if (!connection_state_intact()) {
    log("the connection's state was freed");
    return status(59);
  }
#ifdef QUILLMOT_OTHER_LAYOUT
  static std::vector<const char*> kept;
  for (const char* text : kept) {
    if (context_children.count(text) == 0) {
      log("a text the library keeps was freed");
      return status(59);
    }
    if (std::strlen(text) > 1 << 20) return status(59);  // read, as a cache would be
  }
  kept.clear();
#endif
  const auto* reply = s.next();
  if (reply == nullptr) return status(59);  // an unexpected network error
  // The decoded reply and its two counts, as samr.idl lays them out.
  struct Text {
    uint16_t length, size;
    const char* text;
  };
  struct Entry {
    uint32_t idx, rid, acct_flags;
    Text account_name, description;
  };
  struct Decoded {
    uint32_t count;
    Entry* entries;
  };
  const size_t count = reply->entries.size();
  auto* decoded = static_cast<Decoded*>(talloc_child(&context_token, sizeof(Decoded)));
  decoded->count = static_cast<uint32_t>(count);
  // The entries below a part of the decoder's, as Samba 4.17 and 4.22 leave them.
  void* entries_parent = talloc_child(decoded, 48);
#ifdef QUILLMOT_OTHER_LAYOUT
  entries_parent = talloc_child(entries_parent, 16);
#endif
  decoded->entries = static_cast<Entry*>(talloc_child(entries_parent, count * sizeof(Entry)));
  talloc_child(&context_token, 4);
  talloc_child(&context_token, 4);
  // The level-3 records in the place of level-2 ones: the same layout with the next index after.
  auto* first_copy = static_cast<NET_DISPLAY_GROUP*>(
      talloc_child(&context_token, count * sizeof(NET_DISPLAY_GROUP)));
  auto* block = static_cast<uint8_t*>(std::malloc(count * sizeof(NET_DISPLAY_GROUP) + 1));
  auto* groups = reinterpret_cast<NET_DISPLAY_GROUP*>(block);
  for (size_t i = 0; i < count; ++i) {
    const ScriptedEntry& entry = reply->entries[i];
    auto text = [](const std::string& value) {
      auto* copy = static_cast<char*>(talloc_child(&context_token, value.size() + 1));
      return static_cast<const char*>(std::memcpy(copy, value.c_str(), value.size() + 1));
    };
    groups[i].grpi3_name = text(entry.name);
    groups[i].grpi3_comment = text(entry.comment);
#ifdef QUILLMOT_OTHER_LAYOUT
    kept.push_back(groups[i].grpi3_name);
    kept.push_back(groups[i].grpi3_comment);
#endif
    groups[i].grpi3_group_id = entry.id;
    groups[i].grpi3_attributes = 7;
    groups[i].grpi3_next_index =
        static_cast<uint32_t>(i + 1 == count ? reply->next_handle : idx + i + 1);
    decoded->entries[i] = {groups[i].grpi3_next_index, entry.id, 7, {}, {}};
  }
  std::memcpy(first_copy, groups, count * sizeof(NET_DISPLAY_GROUP));
  live_buffers[block] = ++buffers_made;
  context_children[block] = {&context_token, count * sizeof(NET_DISPLAY_GROUP), false};
  log("buffer " + std::to_string(buffers_made));
  *buffer = block;
  *entries_read = static_cast<uint32_t>(count);
  return status(reply->status);
}

#ifndef QUILLMOT_WITHOUT_WORKER

// The library's text of a status, a copy that talloc frees: the last error it noted (a failed
// connection names the server), else its table's; nothing for a status its table lacks.
char* libnetapi_get_error_string(struct libnetapi_ctx*, NET_API_STATUS status) {
  const std::map<uint32_t, std::string> table = {
      {5, "Access is denied."},
      {53, "The network path was not found."},
      {59, "An unexpected network error occurred."},
      {1003, "Failed to connect to IPC$ share on " + last_server},
      {1326, "Logon failure: Unknown user name or bad password."},
      {1722, "The RPC server is unavailable."},
      {1804, "The specified data type is invalid."},
      {2220, "The group name could not be found."}};
  auto found = table.find(static_cast<uint32_t>(status));
  if (found == table.end()) return nullptr;
  auto* copy = static_cast<char*>(talloc_child(nullptr, found->second.size() + 1));
  std::memcpy(copy, found->second.c_str(), found->second.size() + 1);
  return copy;
}

NET_API_STATUS libnetapi_set_debuglevel(struct libnetapi_ctx*, const char* level) {
  log(std::string("debug level ") + level);
  return status(0);
}

void* _talloc_stackframe(const char*) {
  frames.push_back(new Frame);
  log("push_frame");
  return frames.back();
}

void talloc_report_depth_cb(const void* pointer, int depth, int max_depth,
                            void (*visit)(const void*, int, int, int, void*), void* data) {
  if (pointer != &context_token && context_children.count(pointer) == 0) return;
  visit(pointer, depth, max_depth, 0, data);
  if (depth >= max_depth) return;
  // A copy: a visitor may not change the tree, but the walk must survive one that does.
  const auto children = context_children;
  for (const auto& child : children)
    if (child.second.parent == pointer)
      talloc_report_depth_cb(child.first, depth + 1, max_depth, visit, data);
}

size_t talloc_get_size(const void* pointer) {
  auto found = context_children.find(pointer);
  if (found == context_children.end()) {
    log("talloc_get_size of something not talloc's");
    return 0;
  }
  return found->second.size;
}

int _talloc_free(void* pointer, const char*) {
  if (context_children.count(pointer) == 1) {
    free_child(pointer);
    return 0;
  }
  // A frame goes with every frame pushed after it, as talloc's do.
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i] != pointer) continue;
    while (frames.size() > i) {
      free_frame(frames.back());
      frames.pop_back();
    }
    log("free_frame");
    return 0;
  }
  log("talloc_free unknown");
  return -1;
}

// The record Samba generates from its interface description for NetGroupGetInfo, written out here
// apart from the program's own declaration, so that a mistake there is not copied into the double.
struct NetGroupGetInfoRecord {
  struct {
    const char* server_name;
    const char* group_name;
    uint32_t level;
  } in;
  struct {
    uint8_t** buffer;
    uint32_t result;
  } out;
};

uint32_t NetGroupGetInfo_r(struct libnetapi_ctx*, NetGroupGetInfoRecord* r) {
  if (frames.empty()) log("worker called without a frame");
  return look_up(r->in.server_name, r->in.group_name, r->in.level, r->out.buffer, "worker");
}

#endif

}  // extern "C"
