// Makes every enumeration end, whatever a directory answers. The interface's own rule (go on while
// the counts say more remains) trusts the directory to move forward; a directory that cycles
// through its resume positions, or keeps delivering past what it said it holds, would otherwise be
// asked again forever and its groups written again and again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_set>

namespace quillmot {

class EnumerationGuard {
 public:
  // After a batch whose counts ask for another call: false when that call must not be made,
  // because the directory has come back to a resume position it already returned (the start
  // included), or has delivered far more than it ever said the enumeration held.
  bool may_go_on(uint64_t next_resume_handle, size_t entries_read, uint32_t total_entries);

  // Room above twice the announced size, for groups created while the listing runs.
  static constexpr uint64_t kSlack = 65536;

 private:
  std::unordered_set<uint64_t> positions_{0};
  uint64_t calls_ = 0;
  uint64_t delivered_ = 0;
  // The largest size of the whole enumeration a reply has implied: what was delivered before it
  // plus what it said remained.
  uint64_t announced_ = 0;
};

inline bool EnumerationGuard::may_go_on(uint64_t next_resume_handle, size_t entries_read,
                                        uint32_t total_entries) {
  announced_ = std::max(announced_, delivered_ + total_entries);
  ++calls_;
  delivered_ += entries_read;
  // Each call of an honest enumeration delivers at least one entry, now and then none, and no
  // more than it announced; calls and entries together stay within twice that.
  if (calls_ + delivered_ > 2 * announced_ + kSlack) return false;
  return positions_.insert(next_resume_handle).second;
}

}  // namespace quillmot
