// The remote directory's logic, end to end: the built program with -S, loading a scripted
// libnetapi.so.1 in place of Samba's (first on LD_LIBRARY_PATH), which replays replies a real
// server cannot be made to give and logs every call. The real servers have a suite of their own.
#include <gtest/gtest.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "../support/netapi_script.h"
#include "../support/nss_database.h"
#include "../support/read_back.h"
#include "../support/run_program.h"
#include "../support/script_directory.h"

namespace quillmot::testing {
namespace {

// The scripted libnetapi as Samba 4.22 has it, and as other libnetapis may lack parts of it.
const std::string kDoubles = QUILLMOT_NETAPI_DOUBLES;
const std::string kLibrary = kDoubles + "/netapi-double";
const std::string kWithoutWorker = kDoubles + "/netapi-double-without-worker";
const std::string kSigningByOverride = kDoubles + "/netapi-double-signing-by-override";
const std::string kSigningByCredentials = kDoubles + "/netapi-double-signing-by-credentials";
const std::string kWithoutSigning = kDoubles + "/netapi-double-without-signing";
const std::string kOtherLayout = kDoubles + "/netapi-double-other-layout";

class ScriptedLibrary {
 public:
  explicit ScriptedLibrary(const std::string& script, const std::string& directory = kLibrary)
      : files_(script), directory_(directory) {}

  ProgramResult run(const std::vector<std::string>& words,
                    const std::vector<std::string>& extra_env = {"USER=qbars%secret"},
                    ProgramRun program = {}) const {
    program.file = QUILLMOT_BINARY;
    program.argv = {"quillmot"};
    program.argv.insert(program.argv.end(), words.begin(), words.end());
    program.env = {"LD_LIBRARY_PATH=" + directory_,
                   "QUILLMOT_NETAPI_SCRIPT=" + files_.script_path(),
                   "QUILLMOT_NETAPI_LOG=" + files_.log_path(),
                   // No machine's Kerberos set-up may leak in.
                   "KRB5_CONFIG=/nonexistent", "ASAN_OPTIONS=detect_leaks=1"};
    program.env.insert(program.env.end(), extra_env.begin(), extra_env.end());
    program.timeout_seconds = 30;
    return run_program(program);
  }

  std::vector<std::string> log() const { return files_.log(); }

  // The calls alone, without the descriptor report of each enumeration call.
  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    for (std::string line : log()) {
      if (line.rfind("enum ", 0) == 0 || line.rfind("display ", 0) == 0)
        line = line.substr(0, line.find(" diverted"));
      if (line.rfind("init ", 0) == 0) line = "init";
      if (line.rfind("get_creds", 0) == 0 || line.rfind("set_smb_signing ", 0) == 0) continue;
      if (line.rfind("context holds ", 0) == 0 || line.rfind("debug level ", 0) == 0) continue;
      if (line.rfind("buffer ", 0) == 0 || line.rfind("free ", 0) == 0) continue;
      lines.push_back(line);
    }
    return lines;
  }

  void expect_buffers_freed_once() const {
    EXPECT_EQ(buffers_not_freed_once(log()), "");
    EXPECT_NE(log().end(), std::find_if(log().begin(), log().end(), [](const std::string& l) {
                return l.rfind("buffer ", 0) == 0;
              }));
  }

 private:
  ScriptDirectory files_;
  std::string directory_;
};

const std::string kEnumError = "ERROR in NetGroupEnum()\n";
const std::string kLookupError = "ERROR in NetGroupGetInfo()\n";

// A failed listing or lookup at \\srv: the line saying why, then the error line.
std::string listing_failure(const std::string& why) {
  return "quillmot: listing the groups of \\\\srv: " + why + "\n" + kEnumError;
}
std::string lookup_failure(const std::string& name, const std::string& why) {
  return "quillmot: looking up \"" + name + "\" on \\\\srv: " + why + "\n" + kLookupError;
}
const std::string kEndless =
    listing_failure("the directory kept saying more groups remain without moving on");

struct Case {
  const char* what;
  std::string script;
  std::vector<std::string> words;
  std::string out, err;
  int status;
  std::vector<std::string> calls;
  // The scripted library the program loads: with the worker behind NetGroupGetInfo, or without.
  std::string library = kLibrary;
};

void expect_runs_as_scripted(const Case& c) {
  ScriptedLibrary library(c.script, c.library);
  ProgramResult got = library.run(c.words);
  EXPECT_EQ(got.out, c.out) << c.what;
  EXPECT_EQ(got.err, c.err) << c.what;
  EXPECT_EQ(got.exit_status, c.status) << c.what;
  EXPECT_EQ(library.calls(), c.calls) << c.what;
  if (c.status == 0) library.expect_buffers_freed_once();
  // Signed sessions are asked for on the library's own credentials once it has made them.
  const auto log = library.log();
  const auto asked = std::find(log.begin(), log.end(), "set_smb_signing 3 6");
  ASSERT_NE(asked, log.end()) << c.what;
  ASSERT_GE(asked - log.begin(), 2) << c.what;
  EXPECT_EQ(asked[-1], "get_creds") << c.what;
  EXPECT_EQ(log[0].rfind("init ", 0), 0u) << c.what;
}

TEST(SambaGroupDirectory, ListingsAndLookupsFollowTheReplies) {
  std::string big_out;
  for (int i = 0; i < 5000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "\"bulk%05d\",%d\n", i, 10000 + i);
    big_out += name;
  }
  const Case cases[] = {
      {"pages ended by 234, each starting at the next index of the last entry before it",
       "enum\t234\t5\t3\ngroup\t1\ta\ngroup\t2\tb\ngroup\t3\tc\n"
       "enum\t0\t5\t5\ngroup\t4\td\ngroup\t5\te\n",
       {"-S", "srv", "-Q", "i"},
       "\"a\",1\n\"b\",2\n\"c\",3\n\"d\",4\n\"e\",5\n",
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240",
        "display srv 3 3 1024 10240", "free_context"}},
      {"one page that holds everything, texts as they are",
       "enum\t0\t2\t2\ngroup\t512\tDomain Admins\tDesignated, \"admins\"\n"
       "group\t4294967295\tGruppe M\xc3\xbcller \xe2\x98\x83\t\n",
       {"-S", "\\\\dc01", "-Q", "d"},
       "\"Domain Admins\",512,\"Designated, \"admins\"\"\n"
       "\"Gruppe M\xc3\xbcller \xe2\x98\x83\",4294967295,\"\"\n",
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "display dc01 3 0 1024 10240",
        "free_context"}},
      {"a batch of 5000 groups",
       "enum\t0\t5000\t5000\ngroups\t5000\t10000\tbulk\n",
       {"-S", "srv", "-Q", "i"},
       big_out,
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240",
        "free_context"}},
      {"a failure at the first call",
       "enum\t5\t0\t0\n",
       {"-S", "srv"},
       "",
       listing_failure("Access is denied. (5)"),
       1,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240"}},
      {"a failure at a later call keeps the earlier records",
       "enum\t234\t4\t2\ngroup\t1\ta\ngroup\t2\tb\nenum\t59\t0\t2\n",
       {"-S", "srv"},
       "\"a\"\n\"b\"\n",
       listing_failure("An unexpected network error occurred. (59)"),
       1,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240",
        "display srv 3 2 1024 10240"}},
      {"more promised forever while the resume handle cycles 1, 2, 1, 2",
       "enum\t234\t10\t1\ngroup\t1\ta\nenum\t234\t10\t2\ngroup\t2\tb\nrepeat\n",
       {"-S", "srv"},
       "\"a\"\n\"b\"\n\"a\"\n",
       kEndless,
       1,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240",
        "display srv 3 1 1024 10240", "display srv 3 2 1024 10240", "free_context"}},
      {"a later page that is empty but claims more: asking again would get the same",
       "enum\t234\t0\t2\ngroup\t1\ta\ngroup\t2\tb\nenum\t234\t0\t9\n",
       {"-S", "srv"},
       "\"a\"\n\"b\"\n",
       kEndless,
       1,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240",
        "display srv 3 2 1024 10240", "free_context"}},
      {"more promised forever with nothing delivered and the handle unmoved",
       "enum\t234\t0\t0\nrepeat\n",
       {"-S", "srv"},
       "",
       kEndless,
       1,
       {"init", "set_username qbars", "set_password secret", "display srv 3 0 1024 10240",
        "free_context"}},
      {"a lookup through the worker: the server's spelling, whatever the case asked for",
       "lookup\tDomain Users\t0\t513\tAll domain users\n",
       {"-S", "srv", "-Q", "d", "domain USERS"},
       "\"Domain Users\",513,\"All domain users\"\n",
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "push_frame",
        "worker srv domain USERS 2", "free_frame", "free_context"}},
      {"a lookup through the worker: UTF-8 texts byte for byte, the largest identifier",
       "lookup\tGruppe M\xc3\xbcller \xe2\x98\x83\t0\t4294967295\tTeam \"Ops\", night\n",
       {"-S", "srv", "-Q", "d", "-q", "'", "Gruppe M\xc3\xbcller \xe2\x98\x83"},
       "'Gruppe M\xc3\xbcller \xe2\x98\x83',4294967295,'Team \"Ops\", night'\n",
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "push_frame",
        "worker srv Gruppe M\xc3\xbcller \xe2\x98\x83 2", "free_frame", "free_context"}},
      {"a lookup through the worker of a name the server does not know",
       "lookup\tDomain Users\t0\t513\n",
       {"-S", "srv", "Nobody"},
       "",
       lookup_failure("Nobody", "no group of that name: The group name could not be found. (2220)"),
       1,
       {"init", "set_username qbars", "set_password secret", "push_frame", "worker srv Nobody 2",
        "free_frame"}},
      {"a lookup through the worker of a user's name: not a group (WERR_INVALID_DATATYPE)",
       "lookup\tAdministrator\t1804\t500\n",
       {"-S", "srv", "Administrator"},
       "",
       lookup_failure("Administrator",
                      "that name is not a group's: The specified data type is invalid. (1804)"),
       1,
       {"init", "set_username qbars", "set_password secret", "push_frame",
        "worker srv Administrator 2", "free_frame"}},
      {"no worker: the identifier from the public lookup, the texts from a listing that stops "
       "there",
       "lookup\tDomain Users\t0\t513\n"
       "enum\t234\t4\t2\ngroup\t512\tDomain Admins\tAdmins\ngroup\t513\tDomain Users\tAll users\n"
       "enum\t0\t4\t4\ngroup\t514\tDomain Guests\ngroup\t515\tDomain Computers\n",
       {"-S", "srv", "-Q", "d", "Domain Users"},
       "\"Domain Users\",513,\"All users\"\n",
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "lookup srv Domain Users 2",
        "enum srv 2 4294967295 0", "free_context"},
       kWithoutWorker},
      {"no worker: the group in a later batch of the listing",
       "lookup\tDomain Guests\t0\t514\n"
       "enum\t234\t4\t2\ngroup\t512\tDomain Admins\tAdmins\ngroup\t513\tDomain Users\tAll users\n"
       "enum\t0\t4\t4\ngroup\t514\tDomain Guests\tGuests\ngroup\t515\tDomain Computers\n",
       {"-S", "srv", "-Q", "d", "Domain Guests"},
       "\"Domain Guests\",514,\"Guests\"\n",
       "",
       0,
       {"init", "set_username qbars", "set_password secret", "lookup srv Domain Guests 2",
        "enum srv 2 4294967295 0", "enum srv 2 4294967295 2", "free_context"},
       kWithoutWorker},
      {"no worker: a group the server does not know",
       "lookup\tDomain Users\t0\t513\n",
       {"-S", "srv", "Nobody"},
       "",
       lookup_failure("Nobody", "no group of that name (2220)"),
       1,
       {"init", "set_username qbars", "set_password secret", "lookup srv Nobody 2"},
       kWithoutWorker},
      {"no worker: a listing that cycles without the group",
       "lookup\tx\t0\t77\nenum\t234\t10\t1\ngroup\t1\ta\nenum\t234\t10\t2\ngroup\t2\tb\nrepeat\n",
       {"-S", "srv", "x"},
       "",
       lookup_failure("x", "no group of that name (2220)"),
       1,
       {"init", "set_username qbars", "set_password secret", "lookup srv x 2",
        "enum srv 2 4294967295 0", "enum srv 2 4294967295 1", "enum srv 2 4294967295 2"},
       kWithoutWorker},
      {"no worker: a lookup that the server refuses",
       "lookup\tx\t5\t0\n",
       {"-S", "srv", "x"},
       "",
       lookup_failure("x", "status 5"),
       1,
       {"init", "set_username qbars", "set_password secret", "lookup srv x 2"},
       kWithoutWorker},
  };
  for (const Case& c : cases) expect_runs_as_scripted(c);
}

// libnetapi leaves every display batch's texts and reply on its context; a listing frees what each
// batch left once it is copied, the first batch's too, and never the connection the first call
// made (which holds a part shaped like a reply whose pointer is no pointer).
TEST(SambaGroupDirectory, WhatEachBatchLeavesOnTheContextIsFreed) {
  const std::string script =
      "enum\t234\t0\t2\ngroup\t1\ta\tA\ngroup\t2\tb\tB\n"
      "enum\t234\t0\t4\ngroup\t3\tc\tC\ngroup\t4\td\tD\n"
      "enum\t0\t0\t6\ngroup\t5\te\tE\ngroup\t6\tf\tF\n";
  const struct {
    std::string library;
    std::string leftovers;
  } cases[] = {
      // Each reply's two counts stay.
      {kLibrary, "context holds 6 leftovers"},
      // A library without talloc's walk: everything stays (3 batches: the reply, its two counts,
      // the first copy and four texts each).
      {kWithoutWorker, "context holds 24 leftovers"},
      // A library that lays a batch out otherwise and keeps its texts: nothing taken from it.
      {kOtherLayout, "context holds 24 leftovers"},
  };
  for (const auto& c : cases) {
    ScriptedLibrary library(script, c.library);
    ProgramResult got = library.run({"-S", "srv", "-Q", "d"});
    EXPECT_EQ(got.out,
              "\"a\",1,\"A\"\n\"b\",2,\"B\"\n\"c\",3,\"C\"\n\"d\",4,\"D\"\n"
              "\"e\",5,\"E\"\n\"f\",6,\"F\"\n");
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(got.exit_status, 0);
    const auto log = library.log();
    EXPECT_NE(std::find(log.begin(), log.end(), c.leftovers), log.end()) << c.leftovers;
    library.expect_buffers_freed_once();
  }
}

// What libnetapi says of each status it can answer, in the line before the error line; a status
// it has no text for, the number alone; a host name that does not resolve, the resolver's reason
// too (worked out here by the same C library, as it depends on the machine's resolver).
TEST(SambaGroupDirectory, EveryFailureSaysWhy) {
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo("nosuch.invalid", nullptr, nullptr, &found);
  ASSERT_NE(resolved, 0) << "nosuch.invalid resolves on this machine";
  const std::string unknown_host =
      resolved == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(resolved);
  const struct {
    std::string script;
    std::vector<std::string> words;
    std::string reason;
  } cases[] = {
      {"enum\t5\t0\t0\n",
       {"-S", "localhost"},
       "listing the groups of \\\\localhost: Access is denied. (5)"},
      {"enum\t53\t0\t0\n",
       {"-S", "localhost"},
       "listing the groups of \\\\localhost: The network path was not found. (53)"},
      {"enum\t1003\t0\t0\n",
       {"-S", "localhost"},
       "listing the groups of \\\\localhost: Failed to connect to IPC$ share on localhost (1003)"},
      {"enum\t1003\t0\t0\n",
       {"-S", "nosuch.invalid"},
       "listing the groups of \\\\nosuch.invalid: Failed to connect to IPC$ share on "
       "nosuch.invalid; nosuch.invalid: " +
           unknown_host + " (1003)"},
      {"enum\t1326\t0\t0\n",
       {"-S", "localhost"},
       "listing the groups of \\\\localhost: Logon failure: Unknown user name or bad password. "
       "(1326)"},
      {"enum\t1003\t0\t0\n",
       {"-S", "a\x1b]0;x\x07\nb"},
       "listing the groups of \\\\a\\x1b]0;x\\x07\\nb: Failed to connect to IPC$ share on "
       "a\\x1b]0;x\\x07\\nb; a\\x1b]0;x\\x07\\nb: " +
           unknown_host + " (1003)"},
      {"enum\t1722\t0\t0\n",
       {"-S", "localhost"},
       "listing the groups of \\\\localhost: The RPC server is unavailable. (1722)"},
      {"enum\t0\t0\t0\ninit\t2\n",
       {"-S", "localhost"},
       "cannot initialise libnetapi.so.1: status 2"},
      {"enum\t0\t0\t0\nrefuse_credentials\n",
       {"-S", "localhost"},
       "libnetapi.so.1 did not take the credentials"},
      {"enum\t9999\t0\t0\n",
       {"-S", "localhost"},
       "listing the groups of \\\\localhost: status 9999"},
      {"lookup\tstaff\t5\t0\n",
       {"-S", "localhost", "staff"},
       "looking up \"staff\" on \\\\localhost: Access is denied. (5)"},
  };
  for (const auto& c : cases) {
    ScriptedLibrary library(c.script);
    ProgramResult got = library.run(c.words);
    const std::string error = c.script[0] == 'e' ? kEnumError : kLookupError;
    EXPECT_EQ(got.out, "") << c.reason;
    EXPECT_EQ(got.err, "quillmot: " + c.reason + "\n" + error) << c.reason;
    EXPECT_EQ(got.exit_status, 1) << c.reason;
  }
}

// CSV and JSON Lines, read back by Python's own csv and json modules, give every hard text back
// (JSON with U+FFFD for what is not UTF-8, and a line saying so for each such group), with the
// header and keys of each query level, whatever delimiters CSV is given.
TEST(SambaGroupDirectory, FormatsReadBackExactly) {
  const std::vector<MadeRecord> made = hard_texts(false);
  const std::string script = listing_script(made);
  const std::string replaced =
      "quillmot: group 6: a text that is not UTF-8, written with U+FFFD in place of what is not\n";
  // CSV and JSON alike: UTF-8 text, whatever the directory holds.
  const struct {
    std::string format;
    int level;
    std::vector<std::string> words;
    std::string delimiter, record_end, err;
  } cases[] = {
      {"csv", 2, {}, ",", "\\n", replaced},
      {"csv", 2, {"-d", ";", "-r", "\\r\\n"}, ";", "\\r\\n", replaced},
      {"csv", 1, {"-d", "\\t"}, "\t", "\\n", replaced},
      {"csv", 0, {}, ",", "\\n", replaced},
      {"json", 2, {}, "", "", replaced},
      {"json", 1, {}, "", "", replaced},
      {"json", 0, {}, "", "", replaced},
  };
  for (const auto& c : cases) {
    ScriptedLibrary library(script);
    std::vector<std::string> words = {"-S",     "srv", "-F",
                                      c.format, "-Q",  std::string(1, "nid"[c.level])};
    words.insert(words.end(), c.words.begin(), c.words.end());
    ProgramResult got = library.run(words);
    const std::string what = c.format + " -Q " + words[5] + " " + c.delimiter;
    // The levels below 2 say nothing of the description, so only the name can be replaced.
    EXPECT_EQ(got.err, c.err) << what;
    EXPECT_EQ(got.exit_status, 0) << what;
    EXPECT_EQ(read_back(c.format, c.level, c.delimiter, c.record_end, got.out, made), "") << what;
  }
}

// A listing that fails after some batches leaves whole records in either format, which readers read
// up to the failure; the failure says why and ends as in the default format.
TEST(SambaGroupDirectory, AFailedListingLeavesWholeRecordsInEveryFormat) {
  const std::string script =
      "enum\t234\t0\t2\ngroup\t1\ta,\"1\"\tA\ngroup\t2\tb\tB\nenum\t59\t0\t2\n";
  const std::string err = listing_failure("An unexpected network error occurred. (59)");
  for (const auto& [format, out] : std::vector<std::pair<std::string, std::string>>{
           {"csv", "name,id,description\n\"a,\"\"1\"\"\",1,\"A\"\n\"b\",2,\"B\"\n"},
           {"json",
            "{\"name\":\"a,\\\"1\\\"\",\"id\":1,\"description\":\"A\"}\n"
            "{\"name\":\"b\",\"id\":2,\"description\":\"B\"}\n"}}) {
    ScriptedLibrary library(script);
    ProgramResult got = library.run({"-S", "srv", "-Q", "d", "-F", format});
    EXPECT_EQ(got.out, out) << format;
    EXPECT_EQ(got.err, err) << format;
    EXPECT_EQ(got.exit_status, 1) << format;
  }
}

// Each way of asking for signed sessions alone, both (the public one wins), and none (refused).
TEST(SambaGroupDirectory, SigningIsAskedForTheWayTheLibraryOffers) {
  const std::string by_credentials =
      "init|set_username qbars|set_password secret|get_creds|"
      "set_smb_signing 3 6|display srv 3 0 1024 10240|free_context";
  const struct {
    std::string library, out, err;
    int status;
    std::string calls;
  } cases[] = {
      {kLibrary, "\"a\"\n", "", 0, by_credentials},
      {kSigningByCredentials, "\"a\"\n", "", 0, by_credentials},
      {kSigningByOverride, "\"a\"\n", "", 0,
       "store_lp_set_cmdline client signing = required|init|set_username qbars|"
       "set_password secret|display srv 3 0 1024 10240|free_context"},
      {kWithoutSigning, "",
       "quillmot: cannot ask libnetapi.so.1 for signed sessions\n" + kEnumError, 1, ""},
  };
  for (const auto& c : cases) {
    ScriptedLibrary library("enum\t0\t1\t1\ngroup\t1\ta\n", c.library);
    ProgramResult got = library.run({"-S", "srv"});
    EXPECT_EQ(got.out, c.out) << c.library;
    EXPECT_EQ(got.err, c.err) << c.library;
    EXPECT_EQ(got.exit_status, c.status) << c.library;
    std::string calls;
    for (std::string line : library.log()) {
      line = line.substr(0, line.find(line.rfind("display ", 0) == 0 ? " diverted" : " fds "));
      if (line.rfind("buffer ", 0) == 0 || line.rfind("free ", 0) == 0) continue;
      if (line.rfind("context holds ", 0) == 0 || line.rfind("debug level ", 0) == 0) continue;
      calls += (calls.empty() ? "" : "|") + line;
    }
    EXPECT_EQ(calls, c.calls) << c.library;
  }
}

TEST(SambaGroupDirectory, EveryBufferIsFreedOnceWhateverTheOutcome) {
  for (const char* script :
       {"enum\t234\t4\t2\ngroup\t1\ta\ngroup\t2\tb\nenum\t59\t0\t2\n",
        "enum\t234\t10\t1\ngroup\t1\ta\nenum\t234\t10\t2\ngroup\t2\tb\nrepeat\n",
        "lookup\tx\t0\t2\nenum\t0\t2\t2\ngroup\t1\ta\ngroup\t2\tx\n"}) {
    for (const std::string& directory : {kLibrary, kWithoutWorker}) {
      ScriptedLibrary library(script, directory);
      library.run({"-S", "srv", script[0] == 'l' ? "x" : "-Qn"});
      library.expect_buffers_freed_once();
    }
  }
}

struct CredentialCase {
  const char* what;
  std::vector<std::string> env;
  std::string out, err;
  int status;
  // The environment the library saw at init (USER, PASSWD, PASSWD_FILE), then the calls that
  // set who logs on.
  std::string init;
  std::vector<std::string> setters;
  std::optional<std::string> descriptor_3 = std::nullopt;
};

TEST(SambaGroupDirectory, CredentialsAreSetExplicitlyWhenAPasswordIsGiven) {
  const std::string script = "enum\t0\t1\t1\ngroup\t513\tDomain Users\n";
  const std::string listed = "\"Domain Users\"\n";
  const std::string password_file =
      (std::filesystem::temp_directory_path() / "quillmot-test-password").string();
  write_file(password_file, "from-file\nsecond line\n");
  const CredentialCase cases[] = {
      {"user and password in USER",
       {"USER=qbars%secret"},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username qbars", "set_password secret"}},
      {"a domain user and PASSWD",
       {"USER=QUILL\\qbars", "PASSWD=pw"},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username QUILL\\qbars", "set_password pw"}},
      {"PASSWD_FILE: its first line",
       {"USER=qbars", "PASSWD_FILE=" + password_file},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username qbars", "set_password from-file"}},
      {"a password for nobody named is for the login name",
       {"LOGNAME=operator", "PASSWD=pw"},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username operator", "set_password pw"}},
      {"USER='%' asks for an anonymous session, and the library never sees it",
       {"USER=%"},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username %"}},
      {"USER='' asks for an anonymous session",
       {"USER="},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username %"}},
      {"no password, no ticket and no terminal: an anonymous session, as USER='%' asks",
       {"USER=qbars"},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username %"}},
      {"PASSWD_FD: a line of the descriptor, over PASSWD_FILE, which is not read",
       {"USER=qbars", "PASSWD_FD=3", "PASSWD_FILE=/nonexistent/password"},
       listed,
       "",
       0,
       "USER=- PASSWD=- PASSWD_FD=- PASSWD_FILE=-",
       {"set_username qbars", "set_password from-fd"},
       "from-fd\nsecond line\n"},
      {"PASSWD_FD with nothing open there fails, never an anonymous session",
       {"USER=qbars", "PASSWD_FD=9"},
       "",
       "quillmot: cannot read PASSWD_FD 9: Bad file descriptor\n" + kEnumError,
       1,
       "",
       {}},
      {"PASSWD_FD at its end already",
       {"PASSWD_FD=3"},
       "",
       "quillmot: cannot read PASSWD_FD 3: nothing to read\n" + kEnumError,
       1,
       "",
       {},
       ""},
      {"PASSWD_FD naming no descriptor",
       {"USER=qbars%secret", "PASSWD_FD=3x"},
       "",
       "quillmot: cannot read PASSWD_FD 3x: not a descriptor's number\n" + kEnumError,
       1,
       "",
       {}},
      {"an unreadable PASSWD_FILE fails before the library is loaded, saying why",
       {"USER=qbars", "PASSWD_FILE=/nonexistent/password"},
       "",
       "quillmot: cannot read PASSWD_FILE /nonexistent/password: No such file or directory\n" +
           kEnumError,
       1,
       "",
       {}},
  };
  for (const CredentialCase& c : cases) {
    ScriptedLibrary library(script);
    ProgramRun program;
    program.descriptor_3 = c.descriptor_3;
    ProgramResult got = library.run({"-S", "srv"}, c.env, program);
    EXPECT_EQ(got.out, c.out) << c.what;
    EXPECT_EQ(got.err, c.err) << c.what;
    EXPECT_EQ(got.exit_status, c.status) << c.what;
    std::string init;
    std::vector<std::string> setters;
    for (const std::string& line : library.log()) {
      if (line.rfind("init ", 0) == 0) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex("USER=.* PASSWD_FILE=[^ ]*"))) init = m[0];
      }
      if (line.rfind("set_", 0) == 0 && line.rfind("set_smb_signing", 0) != 0)
        setters.push_back(line);
    }
    EXPECT_EQ(init, c.init) << c.what;
    EXPECT_EQ(setters, c.setters) << c.what;
  }
  std::filesystem::remove(password_file);
}

TEST(SambaGroupDirectory, APasswordTypedAtTheTerminalCountsAsGiven) {
  const std::string script = "enum\t0\t1\t1\ngroup\t513\tDomain Users\n";
  struct {
    const char* what;
    std::vector<std::string> env;
    std::string typed, err;
    std::vector<std::string> setters;
  } cases[] = {
      {"a password typed for USER",
       {"USER=qbars"},
       "typed pw\n",
       "Password for qbars: ",
       {"set_username qbars", "set_password typed pw"}},
      {"a password typed for the login name",
       {"LOGNAME=operator"},
       "pw\n",
       "Password for operator: ",
       {"set_username operator", "set_password pw"}},
      {"nothing typed: an anonymous session, as with no terminal",
       {"USER=qbars"},
       "\n",
       "Password for qbars: ",
       {"set_username %"}},
      {"a password given: no prompt",
       {"USER=qbars%secret"},
       "",
       "",
       {"set_username qbars", "set_password secret"}},
      {"an anonymous session asked for: no prompt", {"USER=%"}, "", "", {"set_username %"}},
  };
  for (const auto& c : cases) {
    ScriptedLibrary library(script);
    ProgramRun program;
    program.terminal_stdin = true;
    program.terminal_input = c.typed;
    ProgramResult got = library.run({"-S", "srv"}, c.env, program);
    EXPECT_EQ(got.out, "\"Domain Users\"\n") << c.what;
    EXPECT_EQ(got.err, c.err) << c.what;
    EXPECT_EQ(got.exit_status, 0) << c.what;
    EXPECT_FALSE(got.timed_out) << c.what;
    std::vector<std::string> setters;
    for (const std::string& line : library.log())
      if (line.rfind("set_", 0) == 0 && line.rfind("set_smb_signing", 0) != 0)
        setters.push_back(line);
    EXPECT_EQ(setters, c.setters) << c.what;
  }
}

TEST(SambaGroupDirectory, ALibraryThatCannotBeLoadedIsNamedBeforeTheErrorLine) {
  ScriptDirectory broken("");
  const std::string directory = std::filesystem::path(broken.script_path()).parent_path();
  write_file(directory + "/libnetapi.so.1", "not a shared library\n");
  ProgramRun program;
  program.file = QUILLMOT_BINARY;
  program.env = {"LD_LIBRARY_PATH=" + directory, "USER=%"};
  for (const auto& words : std::vector<std::vector<std::string>>{{"quillmot", "-S", "srv"},
                                                                 {"quillmot", "-S", "srv", "g"}}) {
    program.argv = words;
    ProgramResult got = run_program(program);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "quillmot: cannot load libnetapi.so.1 (package samba-libs): " + directory +
                           "/libnetapi.so.1: file too short\n" +
                           (words.size() == 3 ? kEnumError : kLookupError));
    EXPECT_EQ(got.exit_status, 1);
  }
}

TEST(SambaGroupDirectory, NothingTheLibraryPrintsReachesStandardOutput) {
  const std::string script = "chatter\nenum\t234\t2\t1\ngroup\t1\ta\nenum\t0\t2\t2\ngroup\t2\tb\n";
  const std::string chatter = "Anonymous login successful\nenumerating\nenumerating\n";
  struct {
    const char* what;
    std::vector<int> closed;
    std::string out, err;
    int status;
  } cases[] = {
      {"all descriptors open", {}, "\"a\"\n\"b\"\n", chatter, 0},
      {"standard error closed", {2}, "\"a\"\n\"b\"\n", "", 0},
      {"standard input and output closed",
       {0, 1},
       "",
       "Anonymous login successful\nenumerating\nERROR in write(): Bad file descriptor\n",
       1},
      {"all three closed", {0, 1, 2}, "", "", 1},
  };
  for (const auto& c : cases) {
    ScriptedLibrary library(script);
    ProgramRun program;
    program.closed_descriptors = c.closed;
    ProgramResult got = library.run({"-S", "srv"}, {"USER=%"}, program);
    EXPECT_EQ(got.out, c.out) << c.what;
    EXPECT_EQ(got.err, c.err) << c.what;
    EXPECT_EQ(got.exit_status, c.status) << c.what;
    // The library's own descriptors never take the place of a standard one, and while it runs,
    // its standard output is standard error and our saved copy is closed on exec.
    int enum_calls = 0;
    for (const std::string& line : library.log()) {
      std::smatch m;
      if (std::regex_match(line, m, std::regex("init fds (\\d+) (\\d+) .*"))) {
        EXPECT_GE(std::stoi(m[1]), 3) << c.what;
        EXPECT_GE(std::stoi(m[2]), 3) << c.what;
      }
      if (line.rfind("display ", 0) == 0) {
        ++enum_calls;
        EXPECT_NE(line.find(" diverted"), std::string::npos) << c.what << ": " << line;
        EXPECT_EQ(line.find(":inherited"), std::string::npos) << c.what << ": " << line;
        EXPECT_NE(line.find(":cloexec"), std::string::npos) << c.what << ": " << line;
      }
    }
    EXPECT_EQ(enum_calls, c.status == 0 ? 2 : 1) << c.what;
  }
}

}  // namespace
}  // namespace quillmot::testing
