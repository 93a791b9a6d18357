// The Windows program under Wine, with a scripted netapi32.dll beside it answering in place of
// Wine's own (a native-first DLL override): its backend's batches, resume handles, totals, wide
// texts and buffer frees, end to end. Both streams are text streams there, so every line feed
// arrives as carriage return and line feed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "../support/netapi_script.h"
#include "../support/nss_database.h"
#include "../support/read_back.h"
#include "../support/run_program.h"
#include "../support/script_directory.h"

namespace quillmot::testing {
namespace {

std::string windows_path(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string crlf(const std::string& text) {
  std::string translated;
  for (char c : text) {
    if (c == '\n') translated += '\r';
    translated += c;
  }
  return translated;
}

class ScriptedNetapi32 {
 public:
  explicit ScriptedNetapi32(const std::string& script) : files_(script) {}

  ProgramResult run(const std::vector<std::string>& words) const {
    ProgramRun program;
    program.file = QUILLMOT_WINE;
    program.argv = {QUILLMOT_WINE, QUILLMOT_DOUBLE_DIR "/quillmot.exe"};
    program.argv.insert(program.argv.end(), words.begin(), words.end());
    program.env = inherited({"HOME", "PATH"});
    program.env.push_back("WINEPREFIX=" QUILLMOT_WINE_PREFIX);
    program.env.push_back("WINEDEBUG=-all");
    // Native first: the netapi32.dll beside the program, not Wine's built-in one.
    program.env.push_back("WINEDLLOVERRIDES=netapi32=n");
    program.env.push_back("QUILLMOT_NETAPI_SCRIPT=" + windows_path(files_.script_path()));
    program.env.push_back("QUILLMOT_NETAPI_LOG=" + windows_path(files_.log_path()));
    program.timeout_seconds = 120;
    return run_program(program);
  }

  std::vector<std::string> log() const { return files_.log(); }

  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    for (const std::string& line : log())
      if (line.rfind("buffer ", 0) != 0 && line.rfind("free ", 0) != 0) lines.push_back(line);
    return lines;
  }

  void expect_buffers_freed_once(const char* what) const {
    EXPECT_EQ(buffers_not_freed_once(log()), "") << what;
  }

 private:
  ScriptDirectory files_;
};

const std::string kEnumError = "ERROR in NetGroupEnum()\n";
const std::string kLookupError = "ERROR in NetGroupGetInfo()\n";

TEST(WindowsBackend, TheScriptedNetapi32IsTheOneAnswering) {
  ScriptedNetapi32 netapi32("enum\t0\t1\t1\ngroup\t4242\tanswered by the script\n");
  ProgramResult got = netapi32.run({"-Q", "i"});
  EXPECT_EQ(got.out, crlf("\"answered by the script\",4242\n"));
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.exit_status, 0);
  // The local machine is the empty server name, handed over as a text, never a null reference.
  EXPECT_EQ(netapi32.calls(), std::vector<std::string>{"enum [] 2 10240 0"});
}

struct Case {
  const char* what;
  std::string script;
  std::vector<std::string> words;
  std::string out, err;
  int status;
  std::vector<std::string> calls;
};

TEST(WindowsBackend, ListingsAndLookupsFollowTheReplies) {
  std::string big;
  for (int i = 0; i < 5000; ++i) {
    char line[40];
    std::snprintf(line, sizeof line, "\"bulk%05d\"\n", i);
    big += line;
  }
  const Case cases[] = {
      {"batches with 234, moving resume handles, one above 32 bits",
       "enum\t234\t5\t0x100000002\ngroup\t1\ta\ngroup\t2\tb\n"
       "enum\t234\t3\t0x200000004\ngroup\t3\tc\ngroup\t4\td\n"
       "enum\t0\t1\t5\ngroup\t5\te\n",
       {"-S", "srv", "-Q", "i"},
       "\"a\",1\n\"b\",2\n\"c\",3\n\"d\",4\n\"e\",5\n",
       "",
       0,
       {"enum [\\\\srv] 2 10240 0", "enum [\\\\srv] 2 10240 4294967298",
        "enum [\\\\srv] 2 10240 8589934596"}},
      {"a total that is only a hint: status 0 ends the listing though it says more",
       "enum\t0\t9\t2\ngroup\t1\ta\ngroup\t2\tb\n",
       {},
       "\"a\"\n\"b\"\n",
       "",
       0,
       {"enum [] 2 10240 0"}},
      {"a total that is only a hint: 234 goes on though it says this was all",
       "enum\t234\t1\t1\ngroup\t1\ta\nenum\t0\t1\t2\ngroup\t2\tb\n",
       {},
       "\"a\"\n\"b\"\n",
       "",
       0,
       {"enum [] 2 10240 0", "enum [] 2 10240 1"}},
      {"a batch of 5000 groups",
       "enum\t0\t5000\t5000\ngroups\t5000\t1\tbulk\n",
       {},
       big,
       "",
       0,
       {"enum [] 2 10240 0"}},
      {"a failure at the first call",
       "enum\t5\t0\t0\n",
       {"-S", "srv"},
       "",
       "quillmot: listing the groups of \\\\srv: Access denied. (5)\n" + kEnumError,
       1,
       {"enum [\\\\srv] 2 10240 0"}},
      {"a failure at a later call keeps the earlier records",
       "enum\t234\t4\t2\ngroup\t1\ta\ngroup\t2\tb\nenum\t53\t0\t2\n",
       {},
       "\"a\"\n\"b\"\n",
       "quillmot: listing the groups of this machine: Bad network path. (53)\n" + kEnumError,
       1,
       {"enum [] 2 10240 0", "enum [] 2 10240 2"}},
      {"more promised forever while the resume handle cycles 1, 2, 1",
       "enum\t234\t10\t1\ngroup\t1\ta\nenum\t234\t10\t2\ngroup\t2\tb\nrepeat\n",
       {},
       "\"a\"\n\"b\"\n\"a\"\n",
       "quillmot: listing the groups of this machine: the directory kept saying more groups remain "
       "without moving on\n" +
           kEnumError,
       1,
       {"enum [] 2 10240 0", "enum [] 2 10240 1", "enum [] 2 10240 2"}},
      {"characters 128 to 255 as single bytes; 256 and above as ?, a surrogate pair as two",
       "enum\t0\t3\t3\ngroup\t1\tcaf\xc3\xa9 \xc3\xbf\tna\xc3\xafve\n"
       "group\t2\tsnow\xe2\x98\x83man\tsnow \xe2\x98\x83\n"
       "group\t3\tclef \xf0\x9d\x84\x9e!\t\xf0\x9d\x84\x9e\n",
       {"-Q", "d"},
       "\"caf\xe9 \xff\",1,\"na\xefve\"\n\"snow?man\",2,\"snow ?\"\n\"clef ?\?!\",3,\"??\"\n",
       "",
       0,
       {"enum [] 2 10240 0"}},
      {"a lookup, texts straight from the lookup",
       "lookup\tDomain Users\t0\t513\tAll domain users\n",
       {"-S", "dc01", "-Q", "d", "Domain Users"},
       "\"Domain Users\",513,\"All domain users\"\n",
       "",
       0,
       {"lookup [\\\\dc01] [Domain Users] 2"}},
      {"a lookup on the local machine",
       "lookup\tstaff\t0\t50\n",
       {"-Q", "i", "staff"},
       "\"staff\",50\n",
       "",
       0,
       {"lookup [] [staff] 2"}},
      {"a group the directory does not know",
       "lookup\tstaff\t0\t50\n",
       {"nobody"},
       "",
       "quillmot: looking up \"nobody\" on this machine: no group of that name (2220)\n" +
           kLookupError,
       1,
       {"lookup [] [nobody] 2"}},
  };
  for (const Case& c : cases) {
    ScriptedNetapi32 netapi32(c.script);
    ProgramResult got = netapi32.run(c.words);
    EXPECT_TRUE(got.out == crlf(c.out)) << c.what << "\n" << got.out;
    EXPECT_EQ(got.err, crlf(c.err)) << c.what;
    EXPECT_EQ(got.exit_status, c.status) << c.what;
    EXPECT_EQ(netapi32.calls(), c.calls) << c.what;
    netapi32.expect_buffers_freed_once(c.what);
  }
}

// On Windows, CSV and JSON Lines are UTF-8 from the directory's UTF-16: every character arrives,
// those above U+00FF too, and a line feed inside a field stays one. Read back by Python's own csv
// and json modules.
TEST(WindowsBackend, FormatsCarryEveryCharacter) {
  std::vector<MadeRecord> made = {
      {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", 1,
       "\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1"},
      {"\xe4\xb8\xad\xe6\x96\x87 \xe2\x98\x83", 2, "\xf0\x9d\x84\x9e clef"},
      {"say \"hi\", a;b", 3, "line\nfeed cr\rlf\r\nend\ttab \\"},
      {"", 4294967295u, "\"quoted\""},
  };
  const std::string script = listing_script(made);
  for (const std::string format : {"csv", "json"}) {
    ScriptedNetapi32 netapi32(script);
    ProgramResult got = netapi32.run({"-F", format, "-Q", "d"});
    EXPECT_EQ(got.err, "") << format;
    EXPECT_EQ(got.exit_status, 0) << format;
    EXPECT_EQ(read_back(format, 2, ",", "\\n", got.out, made), "") << format;
  }
}

// Windows' own words for each status, through FormatMessage (Wine's, here); where it has none (a
// network management status Wine's netmsg.dll lacks, one nobody defines), the number alone.
TEST(WindowsBackend, EveryFailureSaysWhyInWindowsWords) {
  const struct {
    std::string script;
    std::vector<std::string> words;
    std::string reason;
  } cases[] = {
      {"enum\t1722\t0\t0\n",
       {"-S", "srv"},
       "listing the groups of \\\\srv: RPC server unavailable. (1722)"},
      {"enum\t1326\t0\t0\n", {"-S", "srv"}, "listing the groups of \\\\srv: Logon failure. (1326)"},
      {"enum\t8\t0\t0\n", {}, "listing the groups of this machine: Not enough memory. (8)"},
      {"enum\t2351\t0\t0\n", {}, "listing the groups of this machine: status 2351"},
      {"enum\t99999\t0\t0\n", {}, "listing the groups of this machine: status 99999"},
      {"lookup\tstaff\t1722\t0\n",
       {"-S", "dc01", "staff"},
       "looking up \"staff\" on \\\\dc01: RPC server unavailable. (1722)"},
  };
  for (const auto& c : cases) {
    ScriptedNetapi32 netapi32(c.script);
    ProgramResult got = netapi32.run(c.words);
    const std::string error = c.script[0] == 'e' ? kEnumError : kLookupError;
    EXPECT_EQ(got.out, "") << c.reason;
    EXPECT_EQ(got.err, crlf("quillmot: " + c.reason + "\n" + error)) << c.reason;
    EXPECT_EQ(got.exit_status, 1) << c.reason;
  }
}

}  // namespace
}  // namespace quillmot::testing
