// What the program does when its standard streams fail it: whole stdout, whole stderr and the exit
// status, for records, the version line and the final flush.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "../support/nss_database.h"
#include "../support/private_mounts.h"
#include "../support/run_program.h"

namespace quillmot::testing {
namespace {

// nss_wrapper grows its tables with realloc, which turns quadratic under AddressSanitizer.
#if defined(QUILLMOT_SANITIZED)
constexpr int kManyGroups = 8000;
#else
constexpr int kManyGroups = 30000;
#endif

const std::string kGroups = "root:x:0:\nstaff:x:50:alice,bob\nDomain Users:x:513:\n";
const std::string kListed = "\"root\",0\n\"staff\",50\n\"Domain Users\",513\n";
const std::string kVersion = "Quillmot v0.6 Copyright (c) 2026 the Quillmot authors\n";

std::string many_groups(int count, std::string* listed) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    std::string name = "group-with-a-longer-name-" + std::to_string(i);
    lines += name + ":x:" + std::to_string(100000 + i) + ":\n";
    if (listed) *listed += "\"" + name + "\"," + std::to_string(100000 + i) + "\n";
  }
  return lines;
}

ProgramResult run(const NssDatabase& database, const std::vector<std::string>& words,
                  ProgramRun program = {}) {
  program.file = QUILLMOT_BINARY;
  program.argv = {"quillmot"};
  program.argv.insert(program.argv.end(), words.begin(), words.end());
  program.env = database.environment();
  return run_program(program);
}

TEST(OutputFailures, FailedWritesEndTheRunWithTheErrorLine) {
  NssDatabase database(kGroups);
  NssDatabase empty("");
  struct {
    const char* what;
    const NssDatabase& database;
    std::vector<std::string> words;
    std::string stdout_path;
    std::vector<int> closed;
    std::string out, err;
    int status;
  } cases[] = {
      {"records to a full device",
       database,
       {"-Q", "i"},
       "/dev/full",
       {},
       "",
       "ERROR in write(): No space left on device\n",
       1},
      {"the version line to a full device",
       database,
       {"-v"},
       "/dev/full",
       {},
       "",
       "ERROR in write(): No space left on device\n",
       1},
      {"a lookup's record to a full device",
       database,
       {"staff"},
       "/dev/full",
       {},
       "",
       "ERROR in write(): No space left on device\n",
       1},
      {"standard output closed",
       database,
       {"-Q", "i"},
       "",
       {1},
       "",
       "ERROR in write(): Bad file descriptor\n",
       1},
      {"standard output closed and the version line",
       database,
       {"-v"},
       "",
       {1},
       "",
       "ERROR in write(): Bad file descriptor\n",
       1},
      {"standard output closed, nothing to write", empty, {}, "", {1}, "", "", 0},
      {"standard error closed, standard output full", database, {}, "/dev/full", {2}, "", "", 1},
      {"standard error closed, all well", database, {"-Q", "i"}, "", {2}, kListed, "", 0},
      {"standard input closed", database, {"-Q", "i"}, "", {0}, kListed, "", 0},
      {"the lookup's error line with standard output closed",
       database,
       {"nobody"},
       "",
       {1},
       "",
       "quillmot: looking up \"nobody\" on this machine: no group of that name: not in the group "
       "database (2220)\nERROR in NetGroupGetInfo()\n",
       1},
  };
  for (const auto& c : cases) {
    ProgramRun program;
    program.stdout_path = c.stdout_path;
    program.closed_descriptors = c.closed;
    ProgramResult got = run(c.database, c.words, program);
    EXPECT_EQ(got.out, c.out) << c.what;
    EXPECT_EQ(got.err, c.err) << c.what;
    EXPECT_EQ(got.exit_status, c.status) << c.what;
  }
}

TEST(OutputFailures, AClosedPipeStaysQuiet) {
  std::string listed;
  NssDatabase database(many_groups(kManyGroups, &listed));
  ProgramRun program;
  program.close_stdout_after = 1000;
  ProgramResult got = run(database, {"-Q", "i"}, program);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
  EXPECT_EQ(listed.compare(0, got.out.size(), got.out), 0);
}

TEST(OutputFailures, ANonBlockingPipeWithALateReaderGetsEveryByte) {
  std::string listed;
  NssDatabase database(many_groups(kManyGroups, &listed));
  // Several times what a pipe holds (64 KiB).
  ASSERT_GT(listed.size(), 3u * 65536);
  ProgramRun program;
  program.nonblocking_stdout = true;
  program.read_delay_seconds = 1;
  const std::vector<std::string> words = {"-Q", "i"};
  ProgramResult got = run(database, words, program);
  EXPECT_TRUE(got.out == listed) << got.out.size() << " of " << listed.size() << " bytes";
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
}

TEST(OutputFailures, AFileSystemThatFillsUp) {
  if (!running_as_root("a tmpfs in a private mount namespace")) GTEST_SKIP() << "needs root";
  std::string listed;
  NssDatabase database(many_groups(kManyGroups, &listed));
  const std::string mount_point = database.group_file() + ".mnt";
  std::filesystem::create_directory(mount_point);
  ProgramRun program = shell_in_private_mount_namespace(
      "mount -t tmpfs -o size=100k tmpfs \"$1\" && exec \"$2\" -Q i > \"$1/groups\"",
      {mount_point, QUILLMOT_BINARY});
  program.env = database.environment();
  ProgramResult got = run_program(program);
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err, "ERROR in write(): No space left on device\n");
  EXPECT_EQ(got.exit_status, 1);
}

// Through the real libnss_files (nss_wrapper itself crashes when memory runs out), with a
// generated database mounted over /etc/group in a private mount namespace.
TEST(OutputFailures, RunningOutOfMemoryIsAFailedCallNeverAnAbort) {
#if defined(QUILLMOT_SANITIZED)
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#endif
  if (!running_as_root("a private mount namespace")) GTEST_SKIP() << "needs root";
  std::string listed;
  NssDatabase database(many_groups(400000, &listed));
  for (int megabytes : {8, 16, 24, 32, 64}) {
    ProgramRun program = shell_in_private_mount_namespace(
        "mount --bind \"$1\" /etc/group && ulimit -v \"$3\" && exec \"$2\" -Q i",
        {database.group_file(), QUILLMOT_BINARY, std::to_string(megabytes * 1024)});
    program.timeout_seconds = 120;
    ProgramResult got = run_program(program);
    EXPECT_EQ(got.signal, 0) << megabytes << " MiB";
    if (got.exit_status == 0) {
      EXPECT_TRUE(got.out == listed) << megabytes << " MiB";
      EXPECT_EQ(got.err, "") << megabytes << " MiB";
      continue;
    }
    EXPECT_EQ(got.exit_status, 1) << megabytes << " MiB";
    EXPECT_EQ(got.err, "ERROR in NetGroupEnum()\n") << megabytes << " MiB";
    EXPECT_EQ(listed.compare(0, got.out.size(), got.out), 0) << megabytes << " MiB";
  }
}

}  // namespace
}  // namespace quillmot::testing
