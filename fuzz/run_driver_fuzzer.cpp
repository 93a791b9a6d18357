// The run driver's enumeration over a directory whose replies come from the input and are replayed
// from the start once they run out, forever: every run must end, within one call more than the
// script has replies, and never crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "listing/record_writer.h"
#include "program/run_driver.h"

namespace {

using namespace quillmot;

struct Reply {
  NetStatus status;
  uint32_t total;
  uint32_t next_handle;
  uint8_t entries;
};

class ReplayingDirectory : public GroupDirectory {
 public:
  explicit ReplayingDirectory(std::vector<Reply> replies) : replies_(std::move(replies)) {}

  NetStatus NetGroupEnum(const std::u16string&, uint32_t, GroupBatch* batch,
                         ResumeHandle* resume_handle) override {
    ++calls;
    batch->entries.clear();
    if (replies_.empty()) return kNetErrorBadNetPath;
    const Reply& reply = replies_[next_++ % replies_.size()];
    for (uint8_t i = 0; i < reply.entries; ++i)
      batch->entries.push_back(GroupEntry{u"g", u"", reply.next_handle + i});
    batch->total_entries = reply.total;
    *resume_handle = reply.next_handle;
    return reply.status;
  }
  NetStatus NetGroupGetInfo(const std::u16string&, const std::u16string&, GroupEntry*) override {
    return kNetGroupNotFound;
  }
  std::optional<std::string> failure_text(NetStatus) override { return std::string(); }

  size_t calls = 0;

 private:
  std::vector<Reply> replies_;
  size_t next_ = 0;
};

uint32_t read32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each reply takes ten bytes: status choice, entry count, total, next resume handle. Small
  // totals and handles are made likely, since that is where the counts meet.
  std::vector<Reply> replies;
  for (; size >= 10; data += 10, size -= 10) {
    static constexpr NetStatus kStatuses[] = {kNetSuccess, kNetErrorMoreData, kNetErrorMoreData,
                                              kNetErrorAccessDenied};
    uint32_t total = read32(data + 2), handle = read32(data + 6);
    if (data[0] & 0x80) total %= 8;
    if (data[0] & 0x40) handle %= 8;
    replies.push_back({kStatuses[data[0] & 3], total, handle, static_cast<uint8_t>(data[1] % 8)});
  }
  const size_t script_length = replies.size();
  ReplayingDirectory directory(std::move(replies));
  RunSettings settings;
  TextStream out, err;
  RecordWriter writer(settings, out);
  int status = list_all_groups(directory, settings, writer, out, err);
  if (status != 0 && status != 1) std::abort();
  if (directory.calls > script_length + 1) std::abort();
  return 0;
}
