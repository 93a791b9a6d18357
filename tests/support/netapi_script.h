// The script both scripted Network Management libraries replay (libnetapi.so.1 on Linux,
// netapi32.dll on Windows): one directive a line, fields separated by tabs.
// clang-format off
//   enum STATUS TOTAL NEXT_HANDLE    an enumeration reply: NetGroupEnum's, and on Linux also a
//                                    NetQueryDisplayInformation page (TOTAL unused, NEXT_HANDLE
//                                    the last entry's next index); group lines after it are its
//   group ID NAME [COMMENT]          one entry of the reply above (texts in UTF-8)
//   hexgroup ID NAME COMMENT         the same, the texts in hexadecimal: any bytes but NUL
//   groups COUNT FIRST_ID PREFIX     COUNT entries named PREFIX00000, PREFIX00001, ...
//   repeat                           once the replies run out, start again from the first
//   lookup NAME STATUS ID [COMMENT]  a NetGroupGetInfo reply for NAME, which is found whatever
//                                    the case of the name asked for, as a server finds it, and
//                                    comes back spelt as here (other names: 2220)
//   init STATUS                      what libnetapi_init returns (Linux only)
//   chatter                          print to standard output as Samba's library does (Linux)
//   refuse_credentials               libnetapi_set_username and _set_password fail (Linux)
// clang-format on
// Handles are 64-bit, so that a Windows resume handle above 32 bits can be scripted.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quillmot::testing {

struct ScriptedEntry {
  uint32_t id = 0;
  std::string name, comment;
};

struct ScriptedEnumReply {
  uint32_t status = 0, total = 0;
  uint64_t next_handle = 0;
  std::vector<ScriptedEntry> entries;
};

struct ScriptedLookupReply {
  uint32_t status = 0, id = 0;
  std::string comment;
};

struct NetapiScript {
  std::vector<ScriptedEnumReply> replies;
  std::map<std::string, ScriptedLookupReply> lookups;
  bool repeat = false;
  bool chatter = false;
  uint32_t init_status = 0;
  bool refuse_credentials = false;
  size_t next_reply = 0;

  // The lookup reply for a name, compared regardless of ASCII case; null when there is none.
  const std::pair<const std::string, ScriptedLookupReply>* lookup(const std::string& name) const {
    for (const auto& entry : lookups)
      if (entry.first.size() == name.size() &&
          std::equal(
              name.begin(), name.end(), entry.first.begin(),
              [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); }))
        return &entry;
    return nullptr;
  }

  // The next enumeration reply, or null when the script has run out.
  const ScriptedEnumReply* next() {
    if (next_reply == replies.size() && repeat) next_reply = 0;
    if (next_reply == replies.size()) return nullptr;
    return &replies[next_reply++];
  }
};

inline std::vector<std::string> script_fields(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> result;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) result.push_back(field);
  return result;
}

inline std::string from_hex(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

inline uint64_t script_number(const std::string& text) {
  return std::strtoull(text.c_str(), nullptr, 0);
}

inline NetapiScript read_netapi_script(const char* path) {
  NetapiScript script;
  std::ifstream in(path ? path : "", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    auto f = script_fields(line);
    if (f.empty()) continue;
    const auto u32 = [&](size_t i) { return static_cast<uint32_t>(script_number(f[i])); };
    if (f[0] == "enum" && f.size() >= 4) {
      script.replies.push_back({u32(1), u32(2), script_number(f[3]), {}});
    } else if (f[0] == "group" && f.size() >= 3 && !script.replies.empty()) {
      script.replies.back().entries.push_back({u32(1), f[2], f.size() > 3 ? f[3] : ""});
    } else if (f[0] == "hexgroup" && f.size() >= 3 && !script.replies.empty()) {
      script.replies.back().entries.push_back(
          {u32(1), from_hex(f[2]), f.size() > 3 ? from_hex(f[3]) : ""});
    } else if (f[0] == "groups" && f.size() >= 4 && !script.replies.empty()) {
      const uint32_t count = u32(1), first = u32(2);
      for (uint32_t i = 0; i < count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%05u", i);
        script.replies.back().entries.push_back({first + i, f[3] + number, ""});
      }
    } else if (f[0] == "repeat") {
      script.repeat = true;
    } else if (f[0] == "lookup" && f.size() >= 4) {
      script.lookups[f[1]] = {u32(2), u32(3), f.size() > 4 ? f[4] : ""};
    } else if (f[0] == "init" && f.size() >= 2) {
      script.init_status = u32(1);
    } else if (f[0] == "chatter") {
      script.chatter = true;
    } else if (f[0] == "refuse_credentials") {
      script.refuse_credentials = true;
    }
  }
  return script;
}

// The script QUILLMOT_NETAPI_SCRIPT names, read at the first call.
inline NetapiScript& the_script() {
  static NetapiScript* script =
      new NetapiScript(read_netapi_script(std::getenv("QUILLMOT_NETAPI_SCRIPT")));
  return *script;
}

// Appends one line to the log QUILLMOT_NETAPI_LOG names: the calls, and "buffer N" / "free N"
// for each result buffer handed out and freed.
inline void log_call(const std::string& line) {
  const char* path = std::getenv("QUILLMOT_NETAPI_LOG");
  if (path == nullptr) return;
  if (FILE* file = std::fopen(path, "ab")) {
    std::fputs((line + "\n").c_str(), file);
    std::fclose(file);
  }
}

// What is wrong with the buffers a log records: empty when every buffer handed out was freed
// exactly once and nothing else was.
inline std::string buffers_not_freed_once(const std::vector<std::string>& log) {
  std::multiset<std::string> made, freed;
  for (const std::string& line : log) {
    if (line.rfind("buffer ", 0) == 0) made.insert(line.substr(7));
    if (line.rfind("free ", 0) == 0 && line != "free_context") freed.insert(line.substr(5));
  }
  if (made == freed) return "";
  return std::to_string(made.size()) + " buffers handed out, " + std::to_string(freed.size()) +
         " frees, not the same ones";
}

}  // namespace quillmot::testing
