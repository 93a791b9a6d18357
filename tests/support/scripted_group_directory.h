// An in-memory group directory that answers each call from a script, and records the calls.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/group_directory.h"

namespace quillmot::testing {

struct ScriptedBatch {
  NetStatus status = kNetSuccess;
  std::vector<GroupEntry> entries;
  uint32_t total_entries = 0;
  ResumeHandle next_resume_handle = 0;
};

struct ScriptedLookup {
  NetStatus status = kNetSuccess;
  GroupEntry entry;
};

class ScriptedGroupDirectory : public GroupDirectory {
 public:
  std::deque<ScriptedBatch> batches;
  // Lookups answer by name; a name not listed is a group the directory does not know.
  std::map<std::u16string, ScriptedLookup> lookups;
  // What each call was given.
  std::vector<ResumeHandle> resume_handles_seen;
  std::vector<std::u16string> servers_seen;
  std::vector<std::u16string> names_seen;
  // A directory that is asked more often than its script runs returns this status.
  NetStatus exhausted_status = 9999;
  // Runs at the start of each enumeration call, given the call's number (from 1).
  std::function<void(size_t)> on_enum;
  // What a failed status means (nothing: the directory has said why itself); a status not
  // listed has no text.
  std::map<NetStatus, std::optional<std::string>> texts;

  std::optional<std::string> failure_text(NetStatus status) override {
    auto found = texts.find(status);
    return found == texts.end() ? std::string() : found->second;
  }

  NetStatus NetGroupEnum(const std::u16string& server_name, uint32_t preferred_max_length,
                         GroupBatch* batch, ResumeHandle* resume_handle) override {
    servers_seen.push_back(server_name);
    resume_handles_seen.push_back(*resume_handle);
    preferred_lengths_seen.push_back(preferred_max_length);
    batch->entries.clear();
    if (on_enum) on_enum(resume_handles_seen.size());
    if (batches.empty()) return exhausted_status;
    ScriptedBatch next = batches.front();
    batches.pop_front();
    batch->entries = next.entries;
    batch->total_entries = next.total_entries;
    *resume_handle = next.next_resume_handle;
    return next.status;
  }

  NetStatus NetGroupGetInfo(const std::u16string& server_name, const std::u16string& group_name,
                            GroupEntry* entry) override {
    servers_seen.push_back(server_name);
    names_seen.push_back(group_name);
    auto found = lookups.find(group_name);
    if (found == lookups.end()) return kNetGroupNotFound;
    if (found->second.status == kNetSuccess) *entry = found->second.entry;
    return found->second.status;
  }

  std::vector<uint32_t> preferred_lengths_seen;
};

}  // namespace quillmot::testing
