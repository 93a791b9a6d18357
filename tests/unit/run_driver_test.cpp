#include "program/run_driver.h"
#include "listing/record_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <new>

#include "../support/scripted_group_directory.h"

namespace quillmot {
namespace {

using testing::ScriptedBatch;
using testing::ScriptedGroupDirectory;

GroupEntry group(const char16_t* name, uint32_t id) {
  return GroupEntry{name, u"", id};
}

struct Outcome {
  int status;
  std::string out, err;
  std::vector<ResumeHandle> resume_handles;
};

Outcome list(ScriptedGroupDirectory& directory, QueryLevel level = kLevelNameAndId) {
  RunSettings settings;
  settings.query_level = level;
  settings.server_name = u"\\\\dc01";
  TextStream out, err;
  RecordWriter writer(settings, out);
  int status = list_all_groups(directory, settings, writer, out, err);
  return {status, out.captured(), err.captured(), directory.resume_handles_seen};
}

TEST(ListAllGroups, FollowsTheCountsAcrossBatches) {
  const std::string enum_error = "ERROR in NetGroupEnum()\n";
  const std::string endless =
      "quillmot: listing the groups of \\\\dc01: the directory kept saying more groups remain "
      "without moving on\n" +
      enum_error;
  struct Case {
    const char* what;
    std::deque<ScriptedBatch> script;
    Outcome expected;
  } cases[] = {
      {"several batches, carried by the resume handle",
       {{kNetErrorMoreData, {group(u"a", 1), group(u"b", 2)}, 5, 11},
        {kNetErrorMoreData, {group(u"c", 3), group(u"d", 4)}, 3, 22},
        {kNetSuccess, {group(u"e", 5)}, 1, 33}},
       {0, "\"a\",1\n\"b\",2\n\"c\",3\n\"d\",4\n\"e\",5\n", "", {0, 11, 22}}},
      {"no groups at all", {{kNetSuccess, {}, 0, 0}}, {0, "", "", {0}}},
      {"status 234 with equal counts ends",
       {{kNetErrorMoreData, {group(u"a", 1)}, 1, 1}, {kNetSuccess, {group(u"x", 9)}, 1, 2}},
       {0, "\"a\",1\n", "", {0}}},
      {"status 0 with differing counts calls again",
       {{kNetSuccess, {group(u"a", 1)}, 2, 1}, {kNetSuccess, {group(u"b", 2)}, 1, 2}},
       {0, "\"a\",1\n\"b\",2\n", "", {0, 1}}},
      {"an empty batch that moves on is followed by the next call",
       {{kNetErrorMoreData, {}, 1, 7}, {kNetSuccess, {group(u"a", 1)}, 1, 8}},
       {0, "\"a\",1\n", "", {0, 7}}},
      {"a failure at the first call",
       {{kNetErrorAccessDenied, {group(u"a", 1)}, 1, 0}},
       {1, "", "quillmot: listing the groups of \\\\dc01: status 5\n" + enum_error, {0}}},
      {"a failure at a later call keeps the earlier records",
       {{kNetErrorMoreData, {group(u"a", 1)}, 2, 1}, {kNetErrorBadNetPath, {}, 0, 1}},
       {1,
        "\"a\",1\n",
        "quillmot: listing the groups of \\\\dc01: The network path was not found. (53)\n" +
            enum_error,
        {0, 1}}},
      {"a failure the directory has explained itself",
       {{kNetErrorNotEnoughMemory, {}, 0, 0}},
       {1, "", enum_error, {0}}},
      {"a resume handle that cycles 1, 2, 1 while more is promised",
       {{kNetErrorMoreData, {group(u"a", 1)}, 10, 1},
        {kNetErrorMoreData, {group(u"b", 2)}, 9, 2},
        {kNetErrorMoreData, {group(u"a", 1)}, 8, 1},
        {kNetErrorMoreData, {group(u"b", 2)}, 7, 2}},
       {1, "\"a\",1\n\"b\",2\n\"a\",1\n", endless, {0, 1, 2}}},
      {"a directory that cannot advance",
       {{kNetSuccess, {group(u"a", 1)}, 400, 320},
        {kNetSuccess, {}, 400, 320},
        {kNetSuccess, {}, 400, 320}},
       {1, "\"a\",1\n", endless, {0, 320}}},
  };
  for (Case& c : cases) {
    ScriptedGroupDirectory directory;
    directory.batches = c.script;
    directory.texts = {{kNetErrorBadNetPath, "The network path was not found."},
                       {kNetErrorNotEnoughMemory, std::nullopt}};
    Outcome got = list(directory);
    EXPECT_EQ(got.status, c.expected.status) << c.what;
    EXPECT_EQ(got.out, c.expected.out) << c.what;
    EXPECT_EQ(got.err, c.expected.err) << c.what;
    EXPECT_EQ(got.resume_handles, c.expected.resume_handles) << c.what;
    for (uint32_t length : directory.preferred_lengths_seen) EXPECT_EQ(length, 10240u) << c.what;
    for (const auto& server : directory.servers_seen) EXPECT_EQ(server, u"\\\\dc01") << c.what;
  }
}

TEST(ListAllGroups, WritesABatchOfAnySizeWholeAndInOrder) {
  ScriptedGroupDirectory directory;
  ScriptedBatch big{kNetSuccess, {}, 3011, 0};
  std::string expected;
  for (uint32_t id = 0; id < 3011; ++id) {
    std::u16string name = u"group" + std::u16string(1, static_cast<char16_t>(u'a' + id % 26));
    big.entries.push_back(GroupEntry{name, u"", id});
    expected += "\"group" + std::string(1, static_cast<char>('a' + id % 26)) + "\"," +
                std::to_string(id) + "\n";
  }
  directory.batches = {big};
  Outcome got = list(directory);
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.out, expected);
}

TEST(ListAllGroups, AFailedWriteStopsTheRunAtOnce) {
  ScriptedGroupDirectory directory;
  directory.batches = {{kNetErrorMoreData, {group(u"a", 1)}, 3, 1},
                       {kNetErrorMoreData, {group(u"b", 2)}, 2, 2},
                       {kNetSuccess, {group(u"c", 3)}, 1, 3}};
  RunSettings settings;
  TextStream out, err;
  RecordWriter writer(settings, out);
  // The failure shows at the flush that the record of the second batch forces.
  directory.on_enum = [&](size_t call) {
    if (call == 2) {
      out.flush();
      out.fail_next_flush(ENOSPC);
      out.write_bytes(std::string(70 * 1024, 'x'));
    }
  };
  int status = finish_output(list_all_groups(directory, settings, writer, out, err), out, err);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.captured(), "\"a\"\n");
  EXPECT_EQ(err.captured(), "ERROR in write(): No space left on device\n");
  EXPECT_EQ(directory.resume_handles_seen, (std::vector<ResumeHandle>{0, 1}));
}

TEST(ListAllGroups, RunningOutOfMemoryIsAFailedEnumeration) {
  ScriptedGroupDirectory directory;
  directory.batches = {{kNetErrorMoreData, {group(u"a", 1)}, 2, 1},
                       {kNetSuccess, {group(u"b", 2)}, 1, 2}};
  directory.on_enum = [](size_t call) {
    if (call == 2) throw std::bad_alloc();
  };
  Outcome got = list(directory);
  EXPECT_EQ(got.status, 1);
  EXPECT_EQ(got.out, "\"a\",1\n");
  EXPECT_EQ(got.err,
            "quillmot: listing the groups of \\\\dc01: out of memory\nERROR in NetGroupEnum()\n");
}

TEST(ShowOneGroup, WritesOneRecordOrTheErrorLine) {
  RunSettings settings;
  settings.query_level = kLevelNameIdAndDescription;
  settings.record_delimiter = u"\r\n";
  settings.server_name = u"\\\\dc01";
  const testing::ScriptedLookup users = {kNetSuccess, {u"Domain Users", u"All domain users", 513}};
  struct Case {
    const char* what;
    std::u16string asked;
    std::map<std::u16string, testing::ScriptedLookup> lookups;
    int status;
    std::string out, err;
  } cases[] = {
      {"found",
       u"Domain Users",
       {{u"Domain Users", users}},
       0,
       "\"Domain Users\",513,\"All domain users\"\r\n",
       ""},
      {"another group's name is not this group",
       u"Domain Admins",
       {{u"Domain Users", users}},
       1,
       "",
       "quillmot: looking up \"Domain Admins\" on \\\\dc01: no group of that name: The group name "
       "could not be found. "
       "(2220)\nERROR in NetGroupGetInfo()\n"},
      {"a lookup that fails",
       u"Domain Users",
       {{u"Domain Users", {kNetErrorBadNetPath, {}}}},
       1,
       "",
       "quillmot: looking up \"Domain Users\" on \\\\dc01: status 53\nERROR in "
       "NetGroupGetInfo()\n"},
  };
  for (const Case& c : cases) {
    ScriptedGroupDirectory directory;
    directory.lookups = c.lookups;
    directory.texts = {{kNetGroupNotFound, "The group name could not be found."}};
    TextStream out, err;
    RecordWriter writer(settings, out);
    EXPECT_EQ(show_one_group(directory, settings, c.asked, writer, out, err), c.status) << c.what;
    EXPECT_EQ(out.captured(), c.out) << c.what;
    EXPECT_EQ(err.captured(), c.err) << c.what;
    EXPECT_EQ(directory.names_seen, std::vector<std::u16string>{c.asked}) << c.what;
    EXPECT_EQ(directory.servers_seen, std::vector<std::u16string>{u"\\\\dc01"}) << c.what;
    EXPECT_TRUE(directory.resume_handles_seen.empty()) << c.what;
  }
}

TEST(RunQuillmot, ReadsTheCommandLineThenQueriesTheNamedServer) {
  std::vector<std::string> words = {"quillmot", "-S", "dc01", "-Q", "d", "Domain Users"};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // The run owns the directory it opens and ends it before returning; the test keeps its own
  // and hands the run one that answers through it.
  struct Borrowed : GroupDirectory {
    explicit Borrowed(GroupDirectory& target) : target(target) {}
    NetStatus NetGroupEnum(const std::u16string& server, uint32_t length, GroupBatch* batch,
                           ResumeHandle* handle) override {
      return target.NetGroupEnum(server, length, batch, handle);
    }
    NetStatus NetGroupGetInfo(const std::u16string& server, const std::u16string& name,
                              GroupEntry* entry) override {
      return target.NetGroupGetInfo(server, name, entry);
    }
    std::optional<std::string> failure_text(NetStatus status) override {
      return target.failure_text(status);
    }
    GroupDirectory& target;
  };
  ScriptedGroupDirectory directory;
  directory.lookups[u"Domain Users"] = {kNetSuccess, {u"Domain Users", u"All domain users", 513}};
  std::vector<std::u16string> opened_for;
  auto open = [&](const WideText& server) {
    opened_for.push_back(server);
    return std::unique_ptr<GroupDirectory>(std::make_unique<Borrowed>(directory));
  };
  TextStream out, err;
  int status = run_quillmot(static_cast<int>(words.size()), argv.data(), open, out, err);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.captured(), "\"Domain Users\",513,\"All domain users\"\n");
  EXPECT_EQ(err.captured(), "");
  EXPECT_EQ(opened_for, std::vector<std::u16string>{u"\\\\dc01"});
  // One lookup of the named group on the named server, and no enumeration.
  EXPECT_EQ(directory.names_seen, std::vector<std::u16string>{u"Domain Users"});
  EXPECT_EQ(directory.servers_seen, std::vector<std::u16string>{u"\\\\dc01"});
  EXPECT_TRUE(directory.resume_handles_seen.empty());
}

}  // namespace
}  // namespace quillmot
