#include <gtest/gtest.h>

#include "platform/samba/samba_group_directory.h"

namespace quillmot {
namespace {

TEST(SambaHostName, DropsLeadingBackslashes) {
  EXPECT_EQ(samba_host_name(u"\\\\srv"), "srv");
  EXPECT_EQ(samba_host_name(u"\\\\\\\\srv"), "srv");
  EXPECT_EQ(samba_host_name(u"\\\\127.0.0.2"), "127.0.0.2");
  EXPECT_EQ(samba_host_name(u"\\\\s\\rv"), "s\\rv");
  EXPECT_EQ(samba_host_name(u"\\\\"), "");
  EXPECT_EQ(samba_host_name(u"\\\\h\u00f6st"), "h\xf6st");
}

TEST(RemainingEntries, PresentsWhatRemainsFromTheResumePosition) {
  struct Case {
    uint32_t status, read, domain_total, delivered_before, remaining;
  } cases[] = {
      // A classic server with 400 groups: 320, then the last 80.
      {234, 320, 400, 0, 400},
      {0, 80, 400, 320, 80},
      // A domain controller answering in one batch.
      {0, 3011, 3011, 0, 3011},
      // A later batch of a domain of 250: 100 delivered before, so 150 remain, this batch's 100
      // included.
      {234, 100, 250, 100, 150},
      // More was promised though the count says otherwise: still more than this batch.
      {234, 100, 100, 0, 101},
      {234, 0, 5, 10, 1},
      {0, 0, 400, 400, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(remaining_entries(c.status, c.read, c.domain_total, c.delivered_before), c.remaining)
        << c.status << " " << c.read << " " << c.domain_total << " " << c.delivered_before;
}

}  // namespace
}  // namespace quillmot
