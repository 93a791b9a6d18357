// The local directory's batches against the enumeration contract, in process, on a database that
// nss_wrapper serves: the test program starts itself again with nss_wrapper preloaded.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/nss_group_directory.h"

namespace quillmot {
namespace {

class NssBatches : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* group_file = std::getenv("NSS_WRAPPER_GROUP");
    const char* passwd_file = std::getenv("NSS_WRAPPER_PASSWD");
    ASSERT_TRUE(group_file != nullptr && passwd_file != nullptr);
    std::ofstream(passwd_file) << "root:x:0:0:root:/root:/bin/sh\n";
    std::ofstream group(group_file);
    for (int i = 0; i < kGroups; ++i) group << name_of(i) << ":x:" << 5000 + i << ":\n";
  }

  static std::string name_of(int i) {
    // Names of varied length, one of them far longer than a whole batch.
    if (i == 700) return std::string(6000, 'L');
    return "g" + std::to_string(i) + std::string(static_cast<size_t>(i % 40), 'x');
  }

  static constexpr int kGroups = 1500;
};

TEST_F(NssBatches, HonourTheEnumerationContract) {
  NssGroupDirectory directory;
  ResumeHandle resume_handle = 0;
  int next = 0;
  int calls = 0;
  for (;;) {
    ASSERT_LT(++calls, kGroups) << "the enumeration does not end";
    GroupBatch batch;
    const ResumeHandle started_at = resume_handle;
    NetStatus status = directory.NetGroupEnum(u"", kPreferredMaxLength, &batch, &resume_handle);
    ASSERT_TRUE(status == kNetSuccess || status == kNetErrorMoreData) << status;
    ASSERT_FALSE(batch.entries.empty());
    // Equal to the batch exactly when it holds all that remained; otherwise more than the batch
    // and no more than what remained.
    const uint32_t remaining = static_cast<uint32_t>(kGroups - next);
    if (batch.entries.size() == remaining) {
      EXPECT_EQ(batch.total_entries, remaining);
      EXPECT_EQ(status, kNetSuccess);
    } else {
      EXPECT_GT(batch.total_entries, batch.entries.size());
      EXPECT_LE(batch.total_entries, remaining);
      EXPECT_EQ(status, kNetErrorMoreData);
    }
    size_t bytes = 0;
    for (const GroupEntry& entry : batch.entries) {
      const std::string expected = name_of(next);
      EXPECT_EQ(entry.name, std::u16string(expected.begin(), expected.end()));
      EXPECT_EQ(entry.group_id, static_cast<uint32_t>(5000 + next));
      EXPECT_EQ(entry.comment, u"");
      bytes += level2_entry_size(entry.name.size(), entry.comment.size());
      ++next;
    }
    // Within the preferred length, but for a batch of one entry that alone exceeds it.
    if (batch.entries.size() > 1) {
      EXPECT_LE(bytes, kPreferredMaxLength);
    }
    EXPECT_NE(resume_handle, started_at);
    if (status == kNetSuccess) break;
  }
  EXPECT_EQ(next, kGroups);
  EXPECT_GT(calls, 10);
}

TEST_F(NssBatches, LooksUpByNameBytes) {
  NssGroupDirectory directory;
  GroupEntry entry;
  ASSERT_EQ(directory.NetGroupGetInfo(u"", u"g3xxx", &entry), kNetSuccess);
  EXPECT_EQ(entry.name, u"g3xxx");
  EXPECT_EQ(entry.group_id, 5003u);
  EXPECT_EQ(directory.NetGroupGetInfo(u"", u"g3", &entry), kNetGroupNotFound);
  // A character no byte stands for cannot name a local group.
  EXPECT_EQ(directory.NetGroupGetInfo(u"", u"g3xxx\u0100", &entry), kNetGroupNotFound);
}

}  // namespace
}  // namespace quillmot

int main(int argc, char** argv) {
  if (std::getenv("NSS_WRAPPER_GROUP") == nullptr) {
    char directory[] = "/tmp/quillmot-batches-XXXXXX";
    if (mkdtemp(directory) == nullptr) return 2;
    setenv("NSS_WRAPPER_GROUP", (std::string(directory) + "/group").c_str(), 1);
    setenv("NSS_WRAPPER_PASSWD", (std::string(directory) + "/passwd").c_str(), 1);
    setenv("LD_PRELOAD", QUILLMOT_NSS_WRAPPER, 1);
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    execv("/proc/self/exe", argv);
    return 2;
  }
  ::testing::InitGoogleTest(&argc, argv);
  int status = RUN_ALL_TESTS();
  std::filesystem::remove_all(
      std::filesystem::path(std::getenv("NSS_WRAPPER_GROUP")).parent_path());
  return status;
}
