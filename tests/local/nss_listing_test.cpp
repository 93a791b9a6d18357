// The local group directory, read through the real C library and NSS, with nss_wrapper pointing
// NSS at a database the test writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "../support/nss_database.h"
#include "../support/private_mounts.h"
#include "../support/read_back.h"
#include "../support/run_program.h"

namespace quillmot::testing {
namespace {

std::string no_such_group(const std::string& name) {
  return "quillmot: looking up \"" + name +
         "\" on this machine: no group of that name: not in the group database (2220)\n"
         "ERROR in NetGroupGetInfo()\n";
}

ProgramResult run(const NssDatabase& database, const std::vector<std::string>& words,
                  size_t close_stdout_after = 0) {
  ProgramRun run;
  run.file = QUILLMOT_BINARY;
  run.argv = {"quillmot"};
  run.argv.insert(run.argv.end(), words.begin(), words.end());
  run.env = database.environment();
  run.close_stdout_after = close_stdout_after;
  run.timeout_seconds = 300;
  return run_program(run);
}

const std::string kOddNames =
    "wheel:x:10:root\n"
    "a,b:x:20:\n"
    "say \"hi\":x:30:\n"
    "Gr\xc3\xbc\xc3\x9f"
    "e \xe4\xb8\xad:x:40:\n"
    "nobody-ish:x:4294967294:\n"
    "tab\there:x:5:\n";

// The hard texts a group database can hold as names, listed as CSV and JSON Lines and read back
// by Python's own readers in UTF-8 text mode: the bytes exactly, with U+FFFD for what is not UTF-8.
TEST(LocalDirectory, FormatsReadBackExactly) {
  std::vector<MadeRecord> made = hard_texts(true);
  std::string lines;
  for (MadeRecord& r : made) {
    r.comment.clear();                            // the group database has no descriptions
    if (r.id == 4294967295u) r.id = 4294967294u;  // the largest a gid may be
    lines += r.name + ":x:" + std::to_string(r.id) + ":\n";
  }
  NssDatabase database(lines);
  for (const std::string format : {"csv", "json"}) {
    ProgramResult got = run(database, {"-F", format, "-Q", "d"});
    EXPECT_EQ(got.err,
              "quillmot: group 6: a text that is not UTF-8, written with U+FFFD in place of what "
              "is not\n")
        << format;
    EXPECT_EQ(got.exit_status, 0) << format;
    EXPECT_EQ(read_back(format, 2, ",", "\\n", got.out, made), "") << format;
  }
}

TEST(LocalDirectory, ListsAndLooksUpEveryKindOfName) {
  NssDatabase database(kOddNames);
  struct Case {
    std::vector<std::string> words;
    std::string out, err;
    int status;
  } cases[] = {
      {{},
       "\"wheel\"\n\"a,b\"\n\"say \"hi\"\"\n\"Gr\xc3\xbc\xc3\x9f"
       "e \xe4\xb8\xad\"\n"
       "\"nobody-ish\"\n\"tab\there\"\n",
       "",
       0},
      {{"-Q", "i", "-q", "", "-d", "\\t"},
       "wheel\t10\na,b\t20\nsay \"hi\"\t30\nGr\xc3\xbc\xc3\x9f"
       "e \xe4\xb8\xad\t40\n"
       "nobody-ish\t4294967294\ntab\there\t5\n",
       "",
       0},
      {{"-Q", "d", "a,b"}, "\"a,b\",20,\"\"\n", "", 0},
      {{"-Q", "i", "say \"hi\""}, "\"say \"hi\"\",30\n", "", 0},
      {{"-Q", "i",
        "Gr\xc3\xbc\xc3\x9f"
        "e \xe4\xb8\xad"},
       "\"Gr\xc3\xbc\xc3\x9f"
       "e \xe4\xb8\xad\",40\n",
       "",
       0},
      {{"-Q", "i", "nobody-ish"}, "\"nobody-ish\",4294967294\n", "", 0},
      {{"-Q", "i", "-r", "\\r\\n", "tab\there"}, "\"tab\there\",5\r\n", "", 0},
      {{"no-such-group"}, "", no_such_group("no-such-group"), 1},
      {{"WHEEL"}, "", no_such_group("WHEEL"), 1},
  };
  for (const Case& c : cases) {
    ProgramResult got = run(database, c.words);
    EXPECT_EQ(got.out, c.out);
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.exit_status, c.status);
  }
}

TEST(LocalDirectory, EmptyDatabaseWritesNothing) {
  NssDatabase database("");
  for (const auto& words : {std::vector<std::string>{}, {"-Q", "d"}}) {
    ProgramResult got = run(database, words);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(got.exit_status, 0);
  }
}

TEST(LocalDirectory, GroupWithManyMembers) {
  std::string members;
  for (int i = 0; i < 20000; ++i) members += (i ? ",user" : "user") + std::to_string(i);
  NssDatabase database("big:x:77:" + members + "\nsmall:x:78:\n");
  EXPECT_EQ(run(database, {"-Q", "i"}).out, "\"big\",77\n\"small\",78\n");
  const std::vector<std::string> lookup = {"-Q", "i", "big"};
  ProgramResult got = run(database, lookup);
  EXPECT_EQ(got.out, "\"big\",77\n");
  EXPECT_EQ(got.exit_status, 0);
}

std::string many_groups(int count, std::string* expected) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    std::string name = "grp" + std::to_string(i) + (i % 3 ? "" : "-with-a-longer-name");
    lines += name + ":x:" + std::to_string(100000 + i) + ":\n";
    *expected += "\"" + name + "\"," + std::to_string(100000 + i) + "\n";
  }
  return lines;
}

// Under the sanitizers nss_wrapper itself turns quadratic (it grows its table with realloc, which
// the sanitizer allocator cannot do in place), so that build reads a tenth of the database.
#ifdef QUILLMOT_SANITIZED
constexpr int kLargeDatabase = 20000;
#else
constexpr int kLargeDatabase = 200000;
#endif

TEST(LocalDirectory, TwoHundredThousandGroupsEachOnceInOrder) {
  std::string expected;
  NssDatabase database(many_groups(kLargeDatabase, &expected));
  ProgramResult got = run(database, {"-Q", "i"});
  EXPECT_EQ(got.exit_status, 0);
  EXPECT_EQ(got.err, "");
  EXPECT_TRUE(got.out == expected) << "output of " << got.out.size() << " bytes differs";
}

TEST(LocalDirectory, AClosedPipeNeitherKillsNorChangesTheStatus) {
  std::string expected;
  NssDatabase database(many_groups(10000, &expected));
  ProgramResult got = run(database, {"-Q", "i"}, 1);
  EXPECT_EQ(got.signal, 0);
  EXPECT_EQ(got.exit_status, 0);
  EXPECT_EQ(got.err, "");
}

// Through glibc's own files module, with a generated database mounted over /etc/group in a
// private mount namespace: a group of 100,000 members amid the others is listed once, in its
// place, and the group file is opened once, however often the C library has to make room for
// that group.
TEST(LocalDirectory, ALargeGroupAmidManyIsListedInOnePass) {
  if (!running_as_root("a private mount namespace")) GTEST_SKIP() << "needs root";
  std::string expected;
  std::string lines = many_groups(kLargeDatabase / 2, &expected);
  std::string members;
  for (int i = 0; i < 100000; ++i) members += (i ? ",member" : "member") + std::to_string(i);
  const size_t middle = lines.find("grp5000:");
  lines.insert(middle, "large:x:4242:" + members + "\n");
  expected.insert(expected.find("\"grp5000\""), "\"large\",4242\n");
  NssDatabase database(lines);
  const std::string trace = database.group_file() + ".trace";
  ProgramRun run = shell_in_private_mount_namespace(
      "mount --bind \"$1\" /etc/group && "
      "exec strace -f -qq -e trace=open,openat -o \"$2\" \"$3\" -Q i",
      {database.group_file(), trace, QUILLMOT_BINARY});
  // The leak checker cannot run under strace.
  run.env = {"ASAN_OPTIONS=detect_leaks=0"};
  run.timeout_seconds = 300;
  ProgramResult got = run_program(run);
  EXPECT_EQ(got.exit_status, 0);
  EXPECT_EQ(got.err, "");
  EXPECT_TRUE(got.out == expected) << "output of " << got.out.size() << " bytes differs";
  std::ifstream in(trace);
  int opens = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find("\"/etc/group\"") != std::string::npos) ++opens;
  EXPECT_EQ(opens, 1);
}

}  // namespace
}  // namespace quillmot::testing
