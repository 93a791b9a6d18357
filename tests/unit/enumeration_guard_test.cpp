#include "platform/enumeration_guard.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmot {
namespace {

struct Reply {
  uint64_t next_handle;
  size_t entries_read;
  uint32_t total_entries;
};

// How many replies the guard lets through before it says stop (all of them: -1).
int stops_after(const std::vector<Reply>& replies) {
  EnumerationGuard guard;
  for (size_t i = 0; i < replies.size(); ++i)
    if (!guard.may_go_on(replies[i].next_handle, replies[i].entries_read, replies[i].total_entries))
      return static_cast<int>(i) + 1;
  return -1;
}

TEST(EnumerationGuard, StopsDirectoriesThatWouldNeverEnd) {
  constexpr uint64_t kSlack = EnumerationGuard::kSlack;
  struct Case {
    const char* what;
    std::vector<Reply> replies;
    int stops_after;
  } cases[] = {
      {"handles that move on", {{3, 3, 9}, {6, 3, 6}, {8, 2, 3}}, -1},
      {"an empty batch that moves on", {{7, 0, 1}, {8, 0, 1}}, -1},
      {"a handle that cycles 1, 2, 1", {{1, 1, 10}, {2, 1, 9}, {1, 1, 8}}, 3},
      {"a handle that stays where it was", {{320, 1, 400}, {320, 0, 399}}, 2},
      {"a handle back at the start", {{0, 5, 10}}, 1},
      {"a 64-bit handle differs from its low 32 bits", {{0x100000001ull, 1, 10}, {1, 1, 9}}, -1},
      {"far more entries than any answer announced", {{1, 100, 101}, {2, 101 + kSlack, 1}}, 2},
      {"up to twice the announced total and the slack is fine",
       {{1, 100, 101}, {2, 100 + kSlack, 1}},
       -1},
      {"totals that say only one more remains, batch after batch, are no failure",
       {{1, 100, 101}, {2, 100, 101}, {3, 100, 101}, {4, 100, 101}, {5, 100, 101}},
       -1},
  };
  for (const Case& c : cases) EXPECT_EQ(stops_after(c.replies), c.stops_after) << c.what;
}

TEST(EnumerationGuard, EmptyBatchesWithNewHandlesForeverStillEnd) {
  EnumerationGuard guard;
  uint64_t calls = 0;
  while (guard.may_go_on(calls + 1, 0, 5)) ++calls;
  EXPECT_LE(calls, 2 * 5 + EnumerationGuard::kSlack);
}

}  // namespace
}  // namespace quillmot
