// The remote directory against real Samba servers: a domain controller and a classic standalone
// server, started by samba-servers.sh. rpcclient, an independent client, is the oracle.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "../support/run_program.h"
#include "platform/samba/samba_group_directory.h"

// clang-format off
#include <stdint.h>
#include <samba-4.0/netapi.h>
// clang-format on

namespace quillmot::testing {
namespace {

// Loopback addresses of this suite's own: a relay in front of the classic server, and a listener
// that never answers. Another build's suite, run beside this one, is given others.
const std::string kRelayAddress = QUILLMOT_RELAY_ADDRESS;
const std::string kSilentAddress = QUILLMOT_SILENT_ADDRESS;

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

struct Server {
  std::string host, user, password;
};

std::map<std::string, std::string> read_ready_file() {
  std::map<std::string, std::string> values;
  std::ifstream in(QUILLMOT_SERVERS_DIR "/ready");
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

class RemoteDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    auto values = read_ready_file();
    if (values.empty()) {
      const char* ci = std::getenv("CI");
      if (ci != nullptr && std::string(ci) == "true")
        FAIL() << "the Samba test servers are not running; CI must run this suite";
      GTEST_SKIP() << "the Samba test servers are not running (they need root: run make test "
                      "as root)";
    }
    dc_ = {values["dc_host"], values["dc_user"], values["dc_password"]};
    classic_ = {values["classic_host"], values["classic_user"], values["classic_password"]};
  }

  static ProgramResult quillmot(const std::vector<std::string>& words, std::vector<std::string> env,
                                double timeout = 120,
                                std::optional<std::string> descriptor_3 = std::nullopt) {
    ProgramRun run;
    run.descriptor_3 = descriptor_3;
    run.file = QUILLMOT_BINARY;
    run.argv = {"quillmot"};
    run.argv.insert(run.argv.end(), words.begin(), words.end());
    env.push_back("ASAN_OPTIONS=detect_leaks=1");
    env.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" QUILLMOT_LSAN_SUPPRESSIONS);
    run.env = env;
    run.timeout_seconds = timeout;
    return run_program(run);
  }

  static ProgramResult as(const Server& server, const std::vector<std::string>& words) {
    return quillmot(words, {"USER=" + server.user + "%" + server.password});
  }

  // (name, identifier) of every group, as rpcclient enumerates them.
  static std::multiset<std::pair<std::string, uint32_t>> oracle(const Server& server) {
    ProgramRun run;
    run.file = "/usr/bin/rpcclient";
    run.argv = {"rpcclient",     "-U",       server.user + "%" + server.password, "-c",
                "enumdomgroups", server.host};
    ProgramResult got = run_program(run);
    EXPECT_EQ(got.exit_status, 0) << got.err;
    std::multiset<std::pair<std::string, uint32_t>> groups;
    std::regex line(R"(^group:\[(.*)\] rid:\[0x([0-9a-f]+)\]$)");
    std::istringstream in(got.out);
    std::string text;
    std::smatch m;
    while (std::getline(in, text))
      if (std::regex_match(text, m, line))
        groups.insert({m[1], static_cast<uint32_t>(std::stoul(m[2], nullptr, 16))});
    return groups;
  }

  // Lines of "name<TAB>id" as the program writes them with -q '' -d '\t'.
  static std::multiset<std::pair<std::string, uint32_t>> parse_tabbed(const std::string& out) {
    std::multiset<std::pair<std::string, uint32_t>> groups;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
      auto tab = line.rfind('\t');
      EXPECT_NE(tab, std::string::npos) << line;
      if (tab == std::string::npos) continue;
      groups.insert({line.substr(0, tab), static_cast<uint32_t>(std::stoul(line.substr(tab + 1)))});
    }
    return groups;
  }

  void expect_every_group_once(const Server& server, size_t at_least) {
    ProgramResult got = as(server, {"-S", server.host, "-Q", "i", "-q", "", "-d", "\\t"});
    EXPECT_EQ(got.exit_status, 0);
    EXPECT_EQ(got.err, "");
    auto listed = parse_tabbed(got.out);
    auto expected = oracle(server);
    EXPECT_GE(expected.size(), at_least);
    EXPECT_EQ(listed.size(), expected.size());
    EXPECT_TRUE(listed == expected) << "the listing differs from rpcclient's";
    std::set<std::pair<std::string, uint32_t>> distinct(listed.begin(), listed.end());
    EXPECT_EQ(distinct.size(), listed.size()) << "a group was written twice";
  }

  Server dc_, classic_;
};

TEST_F(RemoteDirectory, DomainControllerListsEveryGroupOnce) {
  expect_every_group_once(dc_, 3000);
}

TEST_F(RemoteDirectory, ClassicServerListsEveryGroupOnceOverSeveralBatches) {
  expect_every_group_once(classic_, 700);
}

// What each display batch leaves on libnetapi's context is freed once it is copied, counted by
// the real library itself (talloc's count of the blocks its context holds), in this process,
// after the first batch of a listing of the domain controller and after the last: it barely grows
// however many batches come. Kept, each batch would add about two blocks a group (measured on
// Samba 4.17: 33 blocks after the first batch and 37 after the third; with nothing freed, 6,181
// and 18,127).
TEST_F(RemoteDirectory, WhatEachBatchLeavesOnTheContextIsFreed) {
#ifdef QUILLMOT_SANITIZED
  GTEST_SKIP() << "in the sanitizer build the library's own leaks would be reported at exit";
#endif
  setenv("USER", (dc_.user + "%" + dc_.password).c_str(), 1);
  for (const char* name : {"PASSWD", "PASSWD_FD", "PASSWD_FILE"}) unsetenv(name);
  const auto context_blocks = [] {
    void* library = dlopen("libnetapi.so.1", RTLD_NOW | RTLD_NOLOAD);
    auto get_context =
        reinterpret_cast<NET_API_STATUS (*)(libnetapi_ctx**)>(dlsym(library, "libnetapi_getctx"));
    auto total_blocks =
        reinterpret_cast<size_t (*)(const void*)>(dlsym(library, "talloc_total_blocks"));
    libnetapi_ctx* context = nullptr;
    if (get_context == nullptr || total_blocks == nullptr || get_context(&context) != 0)
      return size_t{0};
    return total_blocks(context);
  };
  SambaGroupDirectory directory;
  const std::u16string server = u"\\\\" + std::u16string(dc_.host.begin(), dc_.host.end());
  GroupBatch batch;
  ResumeHandle resume = 0;
  size_t blocks_after_first = 0, batches = 0, groups = 0;
  for (NetStatus status = kNetErrorMoreData; status == kNetErrorMoreData; ++batches) {
    status = directory.NetGroupEnum(server, kPreferredMaxLength, &batch, &resume);
    ASSERT_TRUE(status == kNetSuccess || status == kNetErrorMoreData) << status;
    groups += batch.entries.size();
    if (batches == 0) blocks_after_first = context_blocks();
  }
  const size_t blocks_after_last = context_blocks();
  ASSERT_GE(groups, 3000u);
  ASSERT_GE(batches, 3u);
  ASSERT_GT(blocks_after_first, 0u);
  std::printf(
      "%zu batches of %zu groups: %zu blocks on the context after the first, %zu after the "
      "last\n",
      batches, groups, blocks_after_first, blocks_after_last);
  EXPECT_LT(blocks_after_last, blocks_after_first + 10 * batches);
}

TEST_F(RemoteDirectory, ServerNameWithOrWithoutBackslashesGivesTheSameBytes) {
  for (const Server& server : {dc_, classic_}) {
    ProgramResult plain = as(server, {"-S", server.host, "-Q", "d"});
    EXPECT_EQ(plain.exit_status, 0);
    EXPECT_FALSE(plain.out.empty());
    for (const std::string& typed :
         {"\\\\" + server.host, "\\\\\\\\" + server.host, "\\" + server.host}) {
      ProgramResult got = as(server, {"-S", typed, "-Q", "d"});
      EXPECT_EQ(got.exit_status, 0) << typed;
      EXPECT_EQ(got.err, "") << typed;
      EXPECT_TRUE(got.out == plain.out) << typed;
    }
  }
}

TEST_F(RemoteDirectory, Lookups) {
  uint32_t snowman_rid = 0, rnd_rid = 0;
  for (const auto& [name, rid] : oracle(dc_)) {
    if (name == "Gruppe M\xc3\xbcller \xe2\x98\x83") snowman_rid = rid;
    if (name == "R&D 'core' team") rnd_rid = rid;
  }
  ASSERT_NE(snowman_rid, 0u);
  ASSERT_NE(rnd_rid, 0u);
  // What the library says of a name the server does not know, and of one that is no group.
  const std::string kUnmapped =
      "no group of that name: No mapping between account names and SIDs was done. (1332)";
  const std::string kNotAGroup =
      "that name is not a group's: The specified data type is invalid. (1804)";
  struct Case {
    const Server* server;
    std::vector<std::string> words;
    std::string out, err;
    int status;
  } cases[] = {
      {&dc_, {"-Q", "d", "Domain Users"}, "\"Domain Users\",513,\"All domain users\"\n", "", 0},
      {&dc_, {"Domain Users"}, "\"Domain Users\"\n", "", 0},
      {&dc_,
       {"-Q", "d", "-q", "'", "-d", ";", "-r", "\\r\\n", "Domain Admins"},
       "'Domain Admins';512;'Designated administrators of the domain'\r\n",
       "",
       0},
      {&dc_,
       {"-Q", "d", "Gruppe M\xc3\xbcller \xe2\x98\x83"},
       "\"Gruppe M\xc3\xbcller \xe2\x98\x83\"," + std::to_string(snowman_rid) +
           ",\"Team \"Ops\", night shift\"\n",
       "",
       0},
      {&dc_,
       {"-Q", "d", "R&D 'core' team"},
       "\"R&D 'core' team\"," + std::to_string(rnd_rid) + ",\"desc, with \"quotes\"\"\n",
       "",
       0},
      {&dc_, {"No such group"}, "", kUnmapped, 1},
      {&classic_,
       {"-Q", "d", "Classic Group 7"},
       "\"Classic Group 7\",1006,\"Comment, number \"7\"\"\n",
       "",
       0},
      {&classic_,
       {"-Q", "d",
        "Klasse Gr\xc3\xbc\xc3\x9f"
        "e"},
       "\"Klasse Gr\xc3\xbc\xc3\x9f"
       "e\",1700,\"Sch\xc3\xb6n\"\n",
       "",
       0},
      {&classic_, {"Classic Group 9999"}, "", kUnmapped, 1},
      // Matched as the server matches, written as the server spells it.
      {&dc_, {"-Q", "d", "domain USERS"}, "\"Domain Users\",513,\"All domain users\"\n", "", 0},
      {&classic_,
       {"-Q", "d", "classic group 7"},
       "\"Classic Group 7\",1006,\"Comment, number \"7\"\"\n",
       "",
       0},
      // Names the server knows that are not global groups: a user, an alias of the built-in
      // domain, a user of the classic server.
      {&dc_, {"Administrator"}, "", kNotAGroup, 1},
      {&dc_, {"Administrators"}, "", kNotAGroup, 1},
      {&classic_, {"quilltest"}, "", kNotAGroup, 1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"-S", c.server->host};
    words.insert(words.end(), c.words.begin(), c.words.end());
    ProgramResult got = as(*c.server, words);
    EXPECT_EQ(got.out, c.out) << c.words.back();
    // A failure's reason line names the group and the server; the texts are the library's.
    std::string err = c.err;
    if (!err.empty())
      err = "quillmot: looking up \"" + c.words.back() + "\" on \\\\" + c.server->host + ": " +
            err + "\nERROR in NetGroupGetInfo()\n";
    EXPECT_EQ(got.err, err) << c.words.back();
    EXPECT_EQ(got.exit_status, c.status) << c.words.back();
  }
}

// What `rpcclient -c 'querygroup RID'` says of a group, as the record -Q d writes with -q ''
// -d '\t'.
std::string querygroup_record(const Server& server, uint32_t rid) {
  ProgramRun run;
  run.file = "/usr/bin/rpcclient";
  run.argv = {"rpcclient",
              "-U",
              server.user + "%" + server.password,
              "-c",
              "querygroup " + std::to_string(rid),
              server.host};
  ProgramResult got = run_program(run);
  EXPECT_EQ(got.exit_status, 0) << got.err;
  std::smatch name, description;
  EXPECT_TRUE(std::regex_search(got.out, name, std::regex("Group Name:\t([^\n]*)\n"))) << got.out;
  EXPECT_TRUE(std::regex_search(got.out, description, std::regex("Description:\t([^\n]*)\n")))
      << got.out;
  return name[1].str() + "\t" + std::to_string(rid) + "\t" + description[1].str() + "\n";
}

TEST_F(RemoteDirectory, LookupsAgreeWithRpcclientQuerygroup) {
  for (const Server* server : {&dc_, &classic_}) {
    // The first and the last group in the server's own order, and its UTF-8 one.
    ProgramResult listing = as(*server, {"-S", server->host, "-Q", "i", "-q", "", "-d", "\\t"});
    ASSERT_EQ(listing.exit_status, 0);
    std::vector<std::pair<std::string, uint32_t>> groups;
    for (const auto& group : parse_tabbed(listing.out)) groups.push_back(group);
    ASSERT_GE(groups.size(), 700u);
    std::istringstream in(listing.out);
    std::string first, last, line;
    std::getline(in, first);
    for (last = first; std::getline(in, line);) last = line;
    std::vector<std::string> names = {first.substr(0, first.rfind('\t')),
                                      last.substr(0, last.rfind('\t'))};
    for (const auto& group : groups)
      if (group.first.find('\xc3') != std::string::npos) names.push_back(group.first);
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names) {
      uint32_t rid = 0;
      for (const auto& group : groups)
        if (group.first == name) rid = group.second;
      ProgramResult got = as(*server, {"-S", server->host, "-Q", "d", "-q", "", "-d", "\\t", name});
      EXPECT_EQ(got.out, querygroup_record(*server, rid)) << name;
      EXPECT_EQ(got.err, "") << name;
      EXPECT_EQ(got.exit_status, 0) << name;
    }
  }
}

TEST_F(RemoteDirectory, ARefusedPasswordFailsAndListsNothing) {
  for (const Server& server : {dc_, classic_}) {
    struct {
      std::vector<std::string> env, words;
      std::string error_line;
      std::optional<std::string> descriptor_3 = std::nullopt;
    } cases[] = {
        {{"USER=" + server.user + "%wrong-password"}, {"-Q", "i"}, "ERROR in NetGroupEnum()\n"},
        {{"USER=" + server.user, "PASSWD=wrong-password"}, {}, "ERROR in NetGroupEnum()\n"},
        {{"USER=" + server.user + "%wrong-password"},
         {"Domain Users"},
         "ERROR in NetGroupGetInfo()\n"},
        {{"USER=" + server.user, "PASSWD_FILE=/nonexistent/password"},
         {},
         "ERROR in NetGroupEnum()\n"},
        {{"USER=" + server.user, "PASSWD_FD=3"}, {}, "ERROR in NetGroupEnum()\n", "wrong\n"},
        // Nothing open there: a failure that says why, never an anonymous session.
        {{"USER=" + server.user, "PASSWD_FD=9"},
         {"Domain Users"},
         "quillmot: cannot read PASSWD_FD 9: Bad file descriptor\nERROR in NetGroupGetInfo()\n"},
    };
    for (const auto& c : cases) {
      std::vector<std::string> words = {"-S", server.host};
      words.insert(words.end(), c.words.begin(), c.words.end());
      ProgramResult got = quillmot(words, c.env, 60, c.descriptor_3);
      EXPECT_EQ(got.out, "") << server.host << " " << c.env[0];
      EXPECT_EQ(got.exit_status, 1) << server.host << " " << c.env[0];
      // Samba says why first ("session setup failed: NT_STATUS_LOGON_FAILURE"); the operation's
      // line ends it.
      ASSERT_GE(got.err.size(), c.error_line.size()) << server.host << " " << c.env[0];
      EXPECT_EQ(got.err.substr(got.err.size() - c.error_line.size()), c.error_line)
          << server.host << " " << c.env[0] << ": " << got.err;
    }
    // A file that cannot be read fails before the server is asked: why, then the error line.
    ProgramResult unreadable = quillmot(
        {"-S", server.host}, {"USER=" + server.user, "PASSWD_FILE=/nonexistent/password"}, 60);
    EXPECT_EQ(unreadable.err,
              "quillmot: cannot read PASSWD_FILE /nonexistent/password: No such file or "
              "directory\nERROR in NetGroupEnum()\n");
  }
}

TEST_F(RemoteDirectory, AnonymousSessionsAskedForExplicitly) {
  for (const Server& server : {dc_, classic_}) {
    ProgramResult good = as(server, {"-S", server.host, "-Q", "i"});
    ASSERT_EQ(good.exit_status, 0);
    for (const char* user : {"USER=%", "USER="}) {
      ProgramResult got = quillmot({"-S", server.host, "-Q", "i"}, {user}, 60);
      EXPECT_EQ(got.signal, 0) << server.host << " " << user;
      EXPECT_TRUE(got.out == good.out) << server.host << " " << user;
      EXPECT_EQ(got.err, "") << server.host << " " << user;
      EXPECT_EQ(got.exit_status, 0) << server.host << " " << user;
    }
  }
}

TEST_F(RemoteDirectory, NoPasswordAndNoTerminalLeavesOnlyRecordsOnStandardOutput) {
  for (const Server& server : {dc_, classic_}) {
    ProgramResult good = as(server, {"-S", server.host, "-Q", "i"});
    ASSERT_EQ(good.exit_status, 0);
    // Standard input is /dev/null: a prompt would read nothing or wait until the timeout.
    ProgramResult got = quillmot({"-S", server.host, "-Q", "i"}, {"USER=" + server.user}, 60);
    EXPECT_FALSE(got.timed_out);
    // Samba falls back to an anonymous session, which may list the groups or be refused;
    // either way nothing but records reaches standard output.
    if (got.exit_status == 0) {
      EXPECT_TRUE(got.out == good.out);
    } else {
      EXPECT_EQ(got.exit_status, 1);
      EXPECT_EQ(got.out, "");
      EXPECT_NE(got.err.find("ERROR in NetGroupEnum()\n"), std::string::npos);
    }
    EXPECT_EQ(got.out.find("Anonymous"), std::string::npos);
    EXPECT_EQ(got.out.find("Password"), std::string::npos);
  }
}

TEST_F(RemoteDirectory, ClosedStandardDescriptorsNeverMixLibraryAndRecords) {
  ProgramResult good = as(classic_, {"-S", classic_.host, "-Q", "i"});
  ASSERT_EQ(good.exit_status, 0);
  ProgramRun run;
  run.file = QUILLMOT_BINARY;
  run.argv = {"quillmot", "-S", classic_.host, "-Q", "i"};
  const std::vector<std::string> sanitizer_env = {
      "ASAN_OPTIONS=detect_leaks=1",
      "LSAN_OPTIONS=print_suppressions=0:suppressions=" QUILLMOT_LSAN_SUPPRESSIONS};
  run.env = sanitizer_env;
  run.env.push_back("USER=" + classic_.user);
  // Standard error closed: "Anonymous login successful" must not land on standard output.
  run.closed_descriptors = {2};
  ProgramResult got = run_program(run);
  EXPECT_TRUE(got.out == good.out);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
  // Standard input and output closed: the library's socket must not become standard output.
  run.closed_descriptors = {0, 1};
  run.env = sanitizer_env;
  run.env.push_back("USER=" + classic_.user + "%" + classic_.password);
  got = run_program(run);
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err, "ERROR in write(): Bad file descriptor\n");
  EXPECT_EQ(got.exit_status, 1);
}

TEST_F(RemoteDirectory, PasswordFromTheEnvironmentOrAFile) {
  char path[] = "/tmp/quillmot-pw-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string line = classic_.password + "\n";
  ASSERT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  close(fd);
  const std::string expected = "\"Classic Group 2\",1001\n";
  for (const auto& env : std::vector<std::vector<std::string>>{
           {"USER=" + classic_.user, "PASSWD=" + classic_.password},
           {"USER=" + classic_.user, std::string("PASSWD_FILE=") + path},
           {"USER=CLASSIC\\" + classic_.user, "PASSWD=" + classic_.password},
           {"USER=" + classic_.user, "PASSWD_FD=3"}}) {
    // Samba's tools read PASSWD_FD's line too; the library, which no longer sees it, says nothing.
    ProgramResult got = quillmot({"-S", classic_.host, "-Q", "i", "Classic Group 2"}, env, 120,
                                 classic_.password + "\n");
    EXPECT_EQ(got.out, expected) << env[1];
    EXPECT_EQ(got.err, "") << env[1];
    EXPECT_EQ(got.exit_status, 0) << env[1];
  }
  unlink(path);
}

TEST_F(RemoteDirectory, UnreachableServerFailsInBoundedTime) {
  // Nothing listens on this loopback address.
  for (const auto& [words, err] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-S", "127.0.0.9"}, "ERROR in NetGroupEnum()\n"},
           {{"-S", "127.0.0.9", "-Q", "d"}, "ERROR in NetGroupEnum()\n"},
           {{"-S", "127.0.0.9", "Domain Users"}, "ERROR in NetGroupGetInfo()\n"}}) {
    ProgramResult got = quillmot(words, {"USER=" + dc_.user + "%" + dc_.password}, 60);
    EXPECT_FALSE(got.timed_out);
    EXPECT_EQ(got.out, "");
    EXPECT_TRUE(ends_with(got.err, err)) << got.err;
    EXPECT_EQ(got.exit_status, 1);
  }
}

TEST_F(RemoteDirectory, ServerThatNeverAnswersFailsInBoundedTime) {
  // The kernel completes the connection; nothing ever reads or answers it.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(445);
  inet_pton(AF_INET, kSilentAddress.c_str(), &at.sin_addr);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  ProgramResult got = quillmot({"-S", kSilentAddress, "-Q", "d"}, {"USER=" + dc_.user + "%x"}, 90);
  close(listener);
  EXPECT_FALSE(got.timed_out);
  EXPECT_EQ(got.out, "");
  const std::string line = "ERROR in NetGroupEnum()\n";
  ASSERT_GE(got.err.size(), line.size());
  EXPECT_EQ(got.err.substr(got.err.size() - line.size()), line) << got.err;
  EXPECT_EQ(got.exit_status, 1);
}

// A plain kinit, as its users run it: the ticket goes to the default cache, which krb5.conf names
// (a private one here, so that the machine's own /tmp/krb5cc_0 is never touched), and quillmot
// finds it with neither KRB5CCNAME nor a password.
TEST_F(RemoteDirectory, KerberosTicketFromKinit) {
  // Kerberos names the server by its host name: the DC's is this machine's, on 127.0.0.1.
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  ProgramRun lookup;
  lookup.file = "/usr/bin/getent";
  lookup.argv = {"getent", "hosts", host};
  if (run_program(lookup).out.rfind("127.", 0) != 0)
    GTEST_SKIP() << "this machine's name " << host << " does not resolve to a loopback address";

  char directory[] = "/tmp/quillmot-krb5-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string config = std::string(directory) + "/krb5.conf";
  const std::string cache = std::string("FILE:") + directory + "/ccache";
  {
    std::ofstream out(config);
    out << "[libdefaults]\n default_realm = QUILL.TEST\n dns_lookup_kdc = false\n rdns = false\n"
        << " default_ccache_name = " << cache << "\n"
        << "[realms]\n QUILL.TEST = {\n  kdc = 127.0.0.1\n }\n"
        << "[domain_realm]\n " << host << " = QUILL.TEST\n";
  }
  const std::vector<std::string> env = {"KRB5_CONFIG=" + config};
  ProgramRun kinit;
  kinit.file = "/bin/sh";
  kinit.argv = {"sh", "-c", "printf '%s\\n' \"$PW\" | kinit Administrator@QUILL.TEST"};
  kinit.env = env;
  kinit.env.push_back("PW=" + dc_.password);
  kinit.env.push_back("PATH=/usr/bin:/bin");
  ProgramResult ticket = run_program(kinit);
  ASSERT_EQ(ticket.exit_status, 0) << ticket.out << ticket.err;

  // No "Anonymous login successful" on standard error: the ticket was used.
  ProgramResult got = quillmot({"-S", host, "-Q", "d", "Domain Users"}, env);
  EXPECT_EQ(got.out, "\"Domain Users\",513,\"All domain users\"\n");
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
  // The same with the cache named.
  got = quillmot({"-S", host, "-Q", "d", "Domain Users"}, {env[0], "KRB5CCNAME=" + cache});
  EXPECT_EQ(got.out, "\"Domain Users\",513,\"All domain users\"\n");
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
  // At a terminal: the ticket, and no prompt.
  ProgramRun at_terminal;
  at_terminal.file = QUILLMOT_BINARY;
  at_terminal.argv = {"quillmot", "-S", host, "-Q", "d", "Domain Users"};
  at_terminal.env = {env[0], "USER=Administrator", "ASAN_OPTIONS=detect_leaks=1",
                     "LSAN_OPTIONS=print_suppressions=0:suppressions=" QUILLMOT_LSAN_SUPPRESSIONS};
  at_terminal.terminal_stdin = true;
  got = run_program(at_terminal);
  EXPECT_EQ(got.out, "\"Domain Users\",513,\"All domain users\"\n");
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
  // A ticket cannot name a server by address, and a cache that does not exist holds none: both
  // go on as if there were no ticket (anonymous here, with no terminal), never with Kerberos
  // errors.
  for (const auto& [server, variables] :
       std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"127.0.0.1", {env[0]}},
           {host, {env[0], "KRB5CCNAME=FILE:" + std::string(directory) + "/missing"}}}) {
    got = quillmot({"-S", server, "-Q", "d", "Domain Users"}, variables);
    EXPECT_EQ(got.exit_status, 0) << server << ": " << got.err;
    EXPECT_EQ(got.out, "\"Domain Users\",513,\"All domain users\"\n") << server;
    EXPECT_EQ(got.err.find("krb5"), std::string::npos) << got.err;
    EXPECT_EQ(got.err.find("Kerberos"), std::string::npos) << got.err;
  }
  std::filesystem::remove_all(directory);
}

// Relays one SMB connection to the classic server, doing to the server's replies what the way
// between them might: nothing, cutting the connection once `n` enumeration batches went through
// (as a server that stops), changing one byte of the n-th batch, turning the first batch's "more
// entries" status into success, or going silent after n bytes while keeping the connection open.
// A batch travels as a run of large messages (pipe reads of about 4 KiB) after a small one.
enum class Tamper { kNone, kCut, kFlipByte, kEndEarly, kStall };

class Relay {
 public:
  Relay(const std::string& listen_host, const std::string& target_host, Tamper tamper, size_t n)
      : tamper_(tamper), n_(n) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in at = address(listen_host);
    ready_ = bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
             listen(listener_, 4) == 0;
    target_ = address(target_host);
    if (ready_) worker_ = std::thread([this] { relay(); });
  }
  ~Relay() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    if (worker_.joinable()) worker_.join();
  }
  bool ready() const { return ready_; }
  int batches_started() const { return batches_; }
  bool tampered() const { return tampered_; }

 private:
  static sockaddr_in address(const std::string& host) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(445);
    inet_pton(AF_INET, host.c_str(), &at.sin_addr);
    return at;
  }

  // What goes to the client of one whole message from the server; false to cut the connection.
  bool pass(std::string& message) {
    const bool large = message.size() > 4004;
    const bool batch_starts = large && !previous_large_;
    previous_large_ = large;
    if (batch_starts) ++batches_;
    switch (tamper_) {
      case Tamper::kNone:
        break;
      case Tamper::kCut:
        if (batch_starts && static_cast<size_t>(batches_) > n_) return false;
        break;
      case Tamper::kFlipByte:
        if (batch_starts && static_cast<size_t>(batches_) == n_ && !tampered_) {
          message[message.size() / 2] ^= 0x20;
          tampered_ = true;
        }
        break;
      case Tamper::kEndEarly: {
        // A batch's reply ends with its NTSTATUS: STATUS_MORE_ENTRIES (0x105), little-endian.
        static const std::string more("\x05\x01\x00\x00", 4);
        if (!tampered_ && message.size() > 8 && message.compare(message.size() - 4, 4, more) == 0) {
          message.replace(message.size() - 4, 4, std::string(4, '\0'));
          tampered_ = true;
        }
        break;
      }
      case Tamper::kStall:
        break;
    }
    return true;
  }

  void relay() {
    pollfd wait_for_client{listener_, POLLIN, 0};
    if (poll(&wait_for_client, 1, 60000) <= 0) return;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    int server = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(server, reinterpret_cast<sockaddr*>(&target_), sizeof target_) != 0) {
      close(client);
      close(server);
      return;
    }
    // Server-to-client bytes are cut into SMB messages by their 4-byte length prefix.
    std::string pending;
    char chunk[65536];
    size_t forwarded = 0;
    bool open = true;
    while (open && !stop_) {
      pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      int ready = poll(fds, 2, 200);
      if (ready < 0) break;
      if (ready == 0) continue;
      if (fds[0].revents) {
        ssize_t n = read(client, chunk, sizeof chunk);
        if (n <= 0) break;
        if (stalled_) continue;
        if (write(server, chunk, n) != n) break;
      }
      if (fds[1].revents) {
        ssize_t n = read(server, chunk, sizeof chunk);
        if (n <= 0) break;
        if (stalled_) continue;
        pending.append(chunk, n);
        while (pending.size() >= 4) {
          size_t length = (static_cast<unsigned char>(pending[1]) << 16) |
                          (static_cast<unsigned char>(pending[2]) << 8) |
                          static_cast<unsigned char>(pending[3]);
          if (pending.size() < 4 + length) break;
          std::string message = pending.substr(0, 4 + length);
          pending.erase(0, 4 + length);
          if (tamper_ == Tamper::kStall && forwarded + message.size() > n_) {
            // Silent from here on, the connection held open until the client gives up.
            stalled_ = tampered_ = true;
            break;
          }
          if (!pass(message) || write(client, message.data(), message.size()) !=
                                    static_cast<ssize_t>(message.size())) {
            open = false;
            break;
          }
          forwarded += message.size();
        }
      }
    }
    close(client);
    close(server);
  }

  Tamper tamper_;
  size_t n_;
  int listener_ = -1;
  bool ready_ = false;
  sockaddr_in target_{};
  std::thread worker_;
  std::atomic<bool> stop_{false};
  int batches_ = 0;
  bool previous_large_ = false;
  bool tampered_ = false;
  bool stalled_ = false;
};

TEST_F(RemoteDirectory, ServerGoneInTheMiddleOfAnEnumeration) {
  ProgramResult whole = as(classic_, {"-S", classic_.host, "-Q", "i"});
  ASSERT_EQ(whole.exit_status, 0);
  Relay relay(kRelayAddress, classic_.host, Tamper::kCut, 2);
  ASSERT_TRUE(relay.ready());
  ProgramResult got = as(classic_, {"-S", kRelayAddress, "-Q", "i"});
  EXPECT_EQ(relay.batches_started(), 3);
  EXPECT_EQ(got.err, "quillmot: listing the groups of \\\\" + kRelayAddress +
                         ": The specified network name is no longer available. (64)\n"
                         "ERROR in NetGroupEnum()\n");
  EXPECT_EQ(got.exit_status, 1);
  // The records of the batches that arrived, whole, and nothing after them.
  EXPECT_FALSE(got.out.empty());
  EXPECT_LT(got.out.size(), whole.out.size());
  EXPECT_EQ(whole.out.compare(0, got.out.size(), got.out), 0);
  EXPECT_EQ(got.out.back(), '\n');
}

// Whatever the way does to a reply, the records written are whole lines of the true listing, in
// order, and a reply that was altered or cut ends as the listing's error line and status 1.
TEST_F(RemoteDirectory, RepliesAlteredOnTheWayFailAndNeverBecomeRecords) {
  ProgramResult whole = as(classic_, {"-S", classic_.host, "-Q", "i"});
  ASSERT_EQ(whole.exit_status, 0);
  struct Case {
    const char* what;
    Tamper tamper;
    size_t n;
  } cases[] = {
      {"one byte changed in the first batch", Tamper::kFlipByte, 1},
      {"one byte changed in the second batch", Tamper::kFlipByte, 2},
      {"the first batch's more-entries status made success", Tamper::kEndEarly, 0},
      {"cut after the first batch", Tamper::kCut, 1},
  };
  for (const Case& c : cases) {
    Relay relay(kRelayAddress, classic_.host, c.tamper, c.n);
    ASSERT_TRUE(relay.ready());
    ProgramResult got = as(classic_, {"-S", kRelayAddress, "-Q", "i"});
    EXPECT_TRUE(relay.tampered() || c.tamper == Tamper::kCut) << c.what;
    EXPECT_EQ(got.exit_status, 1) << c.what;
    const std::string error = "ERROR in NetGroupEnum()\n";
    EXPECT_TRUE(got.err.size() >= error.size() &&
                got.err.compare(got.err.size() - error.size(), error.size(), error) == 0)
        << c.what << ": " << got.err;
    EXPECT_LT(got.out.size(), whole.out.size()) << c.what;
    EXPECT_EQ(whole.out.compare(0, got.out.size(), got.out), 0) << c.what;
    if (!got.out.empty()) {
      EXPECT_EQ(got.out.back(), '\n') << c.what;
    }
  }
  // A relay that changes nothing: the whole listing.
  Relay plain(kRelayAddress, classic_.host, Tamper::kNone, 0);
  ASSERT_TRUE(plain.ready());
  ProgramResult got = as(classic_, {"-S", kRelayAddress, "-Q", "i"});
  EXPECT_TRUE(got.out == whole.out);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
}

// A connection that goes silent in the middle of a listing: the error line once the library has
// given up, and no orderly close of a connection known to be dead after it.
TEST_F(RemoteDirectory, AStalledConnectionFailsWhenTheLibraryGivesUp) {
  ProgramResult whole = as(classic_, {"-S", classic_.host, "-Q", "i"});
  ASSERT_EQ(whole.exit_status, 0);
  Relay relay(kRelayAddress, classic_.host, Tamper::kStall, 50000);
  ASSERT_TRUE(relay.ready());
  const auto start = std::chrono::steady_clock::now();
  ProgramResult got = as(classic_, {"-S", kRelayAddress, "-Q", "i"});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("seconds", std::to_string(seconds));
  std::printf("stalled listing ended after %.1f s\n", seconds);
  EXPECT_TRUE(relay.tampered());
  EXPECT_EQ(got.exit_status, 1);
  // Samba's line of the pipe it could not close, then why the listing failed.
  EXPECT_TRUE(ends_with(got.err, "\nquillmot: listing the groups of \\\\" + kRelayAddress +
                                     ": The semaphore time-out period has expired. (121)\n"
                                     "ERROR in NetGroupEnum()\n"))
      << got.err;
  EXPECT_LT(got.out.size(), whole.out.size());
  EXPECT_EQ(whole.out.compare(0, got.out.size(), got.out), 0);
  if (!got.out.empty()) {
    EXPECT_EQ(got.out.back(), '\n');
  }
}

// Each failure says why before its error line, the error line last: Samba's own line where it has
// one, then the program's, naming what failed, in the library's words, with the status. What the
// lines say differs from case to case in more than the names they quote.
TEST_F(RemoteDirectory, EveryFailureSaysWhyBeforeTheErrorLine) {
  const std::string enum_error = "ERROR in NetGroupEnum()\n";
  const std::string lookup_error = "ERROR in NetGroupGetInfo()\n";
  const std::string dc = "\\\\" + dc_.host;
  const std::vector<std::string> admin = {"USER=" + dc_.user + "%" + dc_.password};
  Relay cut(kRelayAddress, classic_.host, Tamper::kCut, 2);
  ASSERT_TRUE(cut.ready());
  const struct {
    const char* what;
    std::vector<std::string> words, env;
    std::string samba_says, reason, error;
  } cases[] = {
      {"a group the DC does not have",
       {"-S", dc_.host, "Nobody"},
       admin,
       "",
       "quillmot: looking up \"Nobody\" on " + dc +
           ": no group of that name: No mapping between account names and SIDs was done. (1332)",
       lookup_error},
      {"a user's name looked up as a group",
       {"-S", dc_.host, "Administrator"},
       admin,
       "",
       "quillmot: looking up \"Administrator\" on " + dc +
           ": that name is not a group's: The specified data type is invalid. (1804)",
       lookup_error},
      {"a server that refuses connections",
       {"-S", "127.0.0.9"},
       admin,
       "NT_STATUS_CONNECTION_REFUSED",
       "quillmot: listing the groups of \\\\127.0.0.9: Failed to connect to IPC$ share on "
       "127.0.0.9 (1003)",
       enum_error},
      {"a host name that does not resolve",
       {"-S", "nosuch.invalid"},
       admin,
       "",
       "quillmot: listing the groups of \\\\nosuch.invalid: Failed to connect to IPC$ share on "
       "nosuch.invalid; nosuch.invalid: ",
       enum_error},
      {"a wrong password",
       {"-S", dc_.host},
       {"USER=" + dc_.user + "%wrong-password"},
       "NT_STATUS_LOGON_FAILURE",
       "quillmot: listing the groups of " + dc + ": Failed to connect to IPC$ share on " +
           dc_.host + " (1003)",
       enum_error},
      {"a connection cut after two batches",
       {"-S", kRelayAddress},
       {"USER=" + classic_.user + "%" + classic_.password},
       "",
       "quillmot: listing the groups of \\\\" + kRelayAddress + ": ",
       enum_error},
  };
  std::set<std::string> seen;
  for (const auto& c : cases) {
    ProgramResult got = quillmot(c.words, c.env, 60);
    EXPECT_EQ(got.exit_status, 1) << c.what;
    // The error line last, the reason line right before it.
    ASSERT_TRUE(ends_with(got.err, "\n" + c.error) || got.err == c.error) << c.what;
    const std::string before = got.err.substr(0, got.err.size() - c.error.size());
    const size_t line = before.rfind('\n', before.size() - 2);
    const std::string reason = before.substr(line == std::string::npos ? 0 : line + 1);
    EXPECT_EQ(reason.compare(0, c.reason.size(), c.reason), 0) << c.what << ": " << got.err;
    EXPECT_NE(before.find(c.samba_says), std::string::npos) << c.what << ": " << got.err;
    // Told apart by more than the names they quote.
    std::string words = got.err;
    for (const std::string& name : {dc_.host, classic_.host, kRelayAddress,
                                    std::string("127.0.0.9"), std::string("nosuch.invalid")})
      for (size_t at; (at = words.find(name)) != std::string::npos;)
        words.replace(at, name.size(), "HOST");
    EXPECT_TRUE(seen.insert(words).second) << c.what << " says what another case says: " << got.err;
  }
}

}  // namespace
}  // namespace quillmot::testing
