// The group directory the program lists: the local machine's group database, or a server's
// Network Management service. Both operations follow the Network Management API's contract.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmot {

// Network Management status codes the program produces or meets.
using NetStatus = uint32_t;
constexpr NetStatus kNetSuccess = 0;
constexpr NetStatus kNetErrorAccessDenied = 5;
constexpr NetStatus kNetErrorNotEnoughMemory = 8;
constexpr NetStatus kNetErrorBadNetPath = 53;
constexpr NetStatus kNetErrorMoreData = 234;
constexpr NetStatus kNetErrorCannotComplete = 1003;
constexpr NetStatus kNetErrorNoneMapped = 1332;
constexpr NetStatus kNetErrorRpcUnavailable = 1722;
constexpr NetStatus kNetErrorInvalidDatatype = 1804;
constexpr NetStatus kNetErrorInvalidComputer = 2351;
constexpr NetStatus kNetGroupNotFound = 2220;
constexpr NetStatus kNetInternalError = 2140;

// Where an enumeration goes on from: opaque to the caller, 0 at the start. As wide as the widest
// platform's (DWORD_PTR, 64 bits on 64-bit Windows), so that no backend's handle is cut.
using ResumeHandle = uint64_t;

// The size that a level-2 enumeration aims a batch at.
constexpr uint32_t kPreferredMaxLength = 10240;

struct GroupEntry {
  std::u16string name;
  std::u16string comment;
  uint32_t group_id = 0;
};

struct GroupBatch {
  std::vector<GroupEntry> entries;  // entries read
  // Entries still to enumerate from the resume position the call started at, this batch
  // included: equal to the entries read exactly when the batch holds all that remained.
  uint32_t total_entries = 0;
};

class GroupDirectory {
 public:
  virtual ~GroupDirectory() = default;

  // One batch of the server's global groups at information level 2, starting at the position the
  // resume handle marks (0 for the first call) and moving the handle past the batch. Returns 0 when
  // the batch holds everything that remained, 234 when more remains, anything else on failure.
  virtual NetStatus NetGroupEnum(const std::u16string& server_name, uint32_t preferred_max_length,
                                 GroupBatch* batch, ResumeHandle* resume_handle) = 0;

  // One group by name at information level 2: 0 on success, anything else on failure.
  virtual NetStatus NetGroupGetInfo(const std::u16string& server_name,
                                    const std::u16string& group_name, GroupEntry* entry) = 0;

  // What a failed call's status means, in the platform's own words (bytes, without the number),
  // right after the call: empty where the platform has no text for it; nothing where the
  // directory has already said why on standard error itself.
  virtual std::optional<std::string> failure_text(NetStatus status) = 0;
};

// How much of a level-2 result buffer one entry takes: the fixed record and both texts as 16-bit
// characters with their terminators. Batches are cut by this size.
inline size_t level2_entry_size(size_t name_length, size_t comment_length) {
  constexpr size_t kFixedRecord = 2 * sizeof(void*) + 2 * sizeof(uint32_t);
  return kFixedRecord + 2 * (name_length + 1) + 2 * (comment_length + 1);
}

}  // namespace quillmot
