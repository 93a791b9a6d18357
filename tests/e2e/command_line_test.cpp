// The built program, run with exactly these words: whole standard output, whole standard error
// and the exit status.
#include <gtest/gtest.h>

#include "../support/nss_database.h"
#include "../support/run_program.h"

namespace quillmot::testing {
namespace {

const std::string kGroups =
    "root:x:0:\n"
    "staff:x:50:alice,bob\n"
    "Domain Users:x:513:\n"
    "caf\xc3\xa9:x:1001:\n";
const std::string kAllNames = "\"root\"\n\"staff\"\n\"Domain Users\"\n\"caf\xc3\xa9\"\n";

std::string usage(const std::string& program) {
  return "# Usage: " + program +
         " [options] [group]\n"
         "#   group   : look this one group up (default: list every group)\n"
         "#   options :\n"
         "#     -Q <qt> query <qt> groups (default: name)\n"
         "#        <qt>  : \"n\" name, \"i\" name and id, \"d\" name, id and description\n"
         "#     -q <s> String Quote character\n"
         "#     -i <s> Integer Quote character\n"
         "#     -d <s> field delimitation character\n"
         "#     -r <s> record delimitation character\n"
         "#        <s>   : any string, including \\n, \\r, \\0, \\t, \\\", \\\\\n"
         "#     -F csv|json  write CSV with a header, or JSON Lines\n"
         "#     -S <s> query information from server <s>\n"
         "#     -v     show version info (also --version)\n"
         "#     -h     show this help screen (also --help)\n";
}
const std::string kUsage = usage("quillmot");
const std::string kEnumError = "ERROR in NetGroupEnum()\n";
const std::string kLookupError = "ERROR in NetGroupGetInfo()\n";

// A failed lookup or listing: the line saying why, then the error line.
std::string lookup_failure(const std::string& name, const std::string& where,
                           const std::string& why) {
  return "quillmot: looking up \"" + name + "\" on " + where + ": " + why + "\n" + kLookupError;
}
std::string listing_failure(const std::string& where, const std::string& why) {
  return "quillmot: listing the groups of " + where + ": " + why + "\n" + kEnumError;
}
std::string no_local_group(const std::string& name) {
  return lookup_failure(name, "this machine",
                        "no group of that name: not in the group database (2220)");
}
const std::string kVersion = "Quillmot v0.6 Copyright (c) 2026 the Quillmot authors\n";
const std::string kUnknownFormat = "ERR: unhandled option F\n";
std::string unknown_format(const std::string& shown) {
  return "quillmot: unknown format \"" + shown + "\": -F takes csv or json\n" + kUnknownFormat;
}
std::string unknown_level(const std::string& shown) {
  return "quillmot: unknown query level \"" + shown +
         "\": -Q takes n (name), i (name and id) or d (name, id and description)\n" + kUsage;
}

struct Case {
  std::vector<std::string> words;  // after the program's name
  std::string out, err;
  int status;
  bool posixly_correct = false;
  // What the run asks of the group directory: 'e' an enumeration, 'l' a lookup, 0 nothing.
  char reach = 0;
};

#ifdef QUILLMOT_WINE
// The Windows build under Wine: the program's name is the path Wine gives it, both streams are
// text streams (a line feed goes out as carriage return and line feed), and Wine's netapi32
// refuses every query with access denied.
constexpr bool kWindows = true;
std::string program_path() {
  std::string path = "Z:" QUILLMOT_BINARY;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}
#else
constexpr bool kWindows = false;
std::string program_path() {
  return "quillmot";
}
#endif

std::string text_mode(const std::string& bytes) {
  if (!kWindows) return bytes;
  std::string translated;
  for (char c : bytes) {
    if (c == '\n') translated += '\r';
    translated += c;
  }
  return translated;
}

// What this platform's build does for a case written for the local directory on Linux.
Case on_this_platform(Case c) {
  if (!kWindows) return c;
  if (c.reach != 0) {
    // What failed is what the case names where it fails here; else its listing of this machine,
    // or its lookup of the group it names.
    std::string what = "quillmot: listing the groups of this machine";
    for (const std::string& word : c.words)
      if (c.reach == 'l' && kGroups.find("\n" + word + ":x:") != std::string::npos)
        what = "quillmot: looking up \"" + word + "\" on this machine";
    if (c.err.rfind("quillmot: ", 0) == 0) what = c.err.substr(0, c.err.find(": ", 10));
    c.out.clear();
    c.err = what + ": Access denied. (5)\n" + (c.reach == 'e' ? kEnumError : kLookupError);
    c.status = 1;
  }
  const std::string linux_usage = usage("quillmot");
  // The scanner's diagnostics name the program as Wine gives it; the program's own lines say
  // quillmot.
  for (const char* diagnostic : {"quillmot: unrecognized option", "quillmot: option `"})
    if (c.err.rfind(diagnostic, 0) == 0) c.err.replace(0, 8, program_path());
  for (std::string* stream : {&c.out, &c.err})
    if (auto at = stream->find(linux_usage); at != std::string::npos)
      stream->replace(at, linux_usage.size(), usage(program_path()));
  c.out = text_mode(c.out);
  c.err = text_mode(c.err);
  return c;
}

// Windows cuts argument words out of one command-line text in its own code page, so words with
// bytes of 128 and above do not reach the program as the same bytes there.
bool travels_unchanged(const std::vector<std::string>& words) {
  if (!kWindows) return true;
  for (const std::string& word : words)
    for (char c : word)
      if (static_cast<unsigned char>(c) >= 128) return false;
  return true;
}

ProgramResult run(const std::vector<std::string>& words, bool posixly_correct,
                  const NssDatabase& database, const std::string& program_name = "quillmot") {
  ProgramRun run;
  run.file = QUILLMOT_BINARY;
  run.argv = {program_name};
  run.argv.insert(run.argv.end(), words.begin(), words.end());
  run.env = database.environment();
#ifdef QUILLMOT_WINE
  run.file = QUILLMOT_WINE;
  run.argv.insert(run.argv.begin(), QUILLMOT_WINE);
  run.argv[1] = QUILLMOT_BINARY;
  run.env = inherited({"HOME", "PATH"});
  run.env.push_back("WINEPREFIX=" QUILLMOT_WINE_PREFIX);
  run.env.push_back("WINEDEBUG=-all");
#endif
  if (posixly_correct) run.env.push_back("POSIXLY_CORRECT=");
  return run_program(run);
}

void expect_cases(const std::vector<Case>& cases) {
  NssDatabase database(kGroups);
  for (const Case& written : cases) {
    if (!travels_unchanged(written.words)) continue;
    const Case c = on_this_platform(written);
    std::string shown;
    for (const std::string& word : c.words) shown += "[" + word + "]";
    ProgramResult got = run(c.words, c.posixly_correct, database);
    EXPECT_EQ(got.out, c.out) << shown;
    EXPECT_EQ(got.err, c.err) << shown;
    EXPECT_EQ(got.exit_status, c.status) << shown;
  }
}

TEST(CommandLine, HelpVersionAndRejectedOptions) {
  expect_cases({
      {{"-h"}, "", kUsage, 0},
      {{"-H"}, "", kUsage, 0},
      {{"-?"}, "", kUsage, 0},
      {{"-v"}, kVersion, "", 0},
      {{"-x"}, "", "quillmot: unrecognized option `-x'\n" + kUsage, 1},
      {{"--all"}, "", "quillmot: unrecognized option `--all'\n" + kUsage, 1},
      {{"--help"}, kUsage, "", 0},
      {{"--version"}, kVersion, "", 0},
      {{"--help", "-v"}, kUsage, "", 0},
      {{"-v", "--help"}, kVersion, "", 0},
      {{"--vers"}, "", "quillmot: unrecognized option `--vers'\n" + kUsage, 1},
      {{"--\x1b[2J\n"}, "", "quillmot: unrecognized option `--\\x1b[2J\\n'\n" + kUsage, 1},
      {{"-d", "--help", "-Q", "i", "staff"}, "\"staff\"--help50\n", "", 0, false, 'l'},
      {{"staff", "--help"}, "", "ERR: unhandled argument --help\n", 1, true},
      {{"-\x01"}, "", "quillmot: unrecognized option, character code 01\n" + kUsage, 1},
      {{"-\x1f"}, "", "quillmot: unrecognized option, character code 037\n" + kUsage, 1},
      {{"-\x7f"}, "", "quillmot: unrecognized option, character code 0177\n" + kUsage, 1},
      {{"-\x80"}, "", "quillmot: unrecognized option, character code 037777777600\n" + kUsage, 1},
      {{"-\xff"}, "", "quillmot: unrecognized option, character code 037777777777\n" + kUsage, 1},
      {{"-\xc3\xa9"},
       "",
       "quillmot: unrecognized option, character code 037777777703\n" + kUsage,
       1},
      {{"-Q"}, "", "quillmot: option `-Q' requires an argument\n" + kUsage, 1},
      {{"-S"}, "", "quillmot: option `-S' requires an argument\n" + kUsage, 1},
      {{"-q"}, "", "quillmot: option `-q' requires an argument\n" + kUsage, 1},
      {{"-i"}, "", "quillmot: option `-i' requires an argument\n" + kUsage, 1},
      {{"-d"}, "", "quillmot: option `-d' requires an argument\n" + kUsage, 1},
      {{"-r"}, "", "quillmot: option `-r' requires an argument\n" + kUsage, 1},
      {{"-F"}, "", "quillmot: option `-F' requires an argument\n" + kUsage, 1},
      {{"-F", "x"}, "", unknown_format("x"), 1},
      {{"-Fx"}, "", unknown_format("x"), 1},
      {{"-F", "xml\r\n\xff"}, "", unknown_format("xml\\r\\n\\xff"), 1},
      {{"-Q", "x"}, "", unknown_level("x"), 1},
      {{"-Q", ""}, "", unknown_level(""), 1},
      {{"-Q", "D"}, "", unknown_level("D"), 1},
      {{"-Q", "Name"}, "", unknown_level("Name"), 1},
      {{"staff", "root"}, "", "ERR: unhandled argument root\n", 1},
      {{"a", "b", "c"}, "", "ERR: unhandled argument b\n", 1},
      {{"", "x"}, "", "ERR: unhandled argument x\n", 1},
  });
}

TEST(CommandLine, OptionsActInTheOrderGiven) {
  expect_cases({
      {{"-v", "-Q", "D"}, kVersion, "", 0},
      {{"-Q", "D", "-v"}, "", unknown_level("D"), 1},
      {{"-v", "-x"}, kVersion, "", 0},
      {{"-x", "-v"}, "", "quillmot: unrecognized option `-x'\n" + kUsage, 1},
      {{"-h", "-v"}, "", kUsage, 0},
      {{"-v", "a", "b"}, kVersion, "", 0},
      {{"a", "b", "-v"}, kVersion, "", 0},
      {{"-F", "x", "-v"}, "", unknown_format("x"), 1},
      {{"-Q", "d", "-Q", "n", "staff"}, "\"staff\"\n", "", 0, false, 'l'},
      {{"-Q", "n", "-Q", "i", "staff"}, "\"staff\",50\n", "", 0, false, 'l'},
      {{"-d", ";", "-d", ":", "-Q", "i", "staff"}, "\"staff\":50\n", "", 0, false, 'l'},
  });
}

TEST(CommandLine, GroupingPermutationAndTheEndOfOptions) {
  expect_cases({
      {{"-vh"}, kVersion, "", 0},
      {{"-hv"}, "", kUsage, 0},
      {{"-Qi", "staff"}, "\"staff\",50\n", "", 0, false, 'l'},
      {{"-Qid;", "staff"}, "\"staff\",50\n", "", 0, false, 'l'},
      {{"-Qi", "-d;", "staff"}, "\"staff\";50\n", "", 0, false, 'l'},
      {{"-d", "-Q", "staff"}, "\"staff\"\n", "", 0, false, 'l'},
      {{"-Q", "-v"}, "", unknown_level("-v"), 1},
      {{"staff", "-Q", "i"}, "\"staff\",50\n", "", 0, false, 'l'},
      {{"-Q", "i", "staff", "-d", ";"}, "\"staff\";50\n", "", 0, false, 'l'},
      {{"--", "-v"}, "", no_local_group("-v"), 1, false, 'l'},
      {{"-Qi", "--", "staff"}, "\"staff\",50\n", "", 0, false, 'l'},
      {{"--", "staff", "-v"}, "", "ERR: unhandled argument -v\n", 1},
      {{"-"}, "", no_local_group("-"), 1, false, 'l'},
      {{"a\nb\x1b[2J\r\tc\x7f\xe9\xc3\xa9"},
       "",
       no_local_group("a\\nb\\x1b[2J\\r\\tc\\x7f\\xe9\xc3\xa9"),
       1,
       false,
       'l'},
      {{""}, kAllNames, "", 0, false, 'e'},
      {{}, kAllNames, "", 0, false, 'e'},
      {{"-Q", "name"}, kAllNames, "", 0, false, 'e'},
      {{"-Q", "id", "staff"}, "\"staff\",50\n", "", 0, false, 'l'},
      {{"-Q", "description", "staff"}, "\"staff\",50,\"\"\n", "", 0, false, 'l'},
      {{"staff", "-Q", "i"}, "", "ERR: unhandled argument -Q\n", 1, true},
      {{"-Q", "i", "staff"}, "\"staff\",50\n", "", 0, true, 'l'},
      {{"-v", "staff"}, kVersion, "", 0, true},
      {{"staff", "-v"}, "", "ERR: unhandled argument -v\n", 1, true},
  });
}

TEST(CommandLine, EscapesInValues) {
  expect_cases({
      {{"-Q", "i", "-d", "\\t", "-r", "\\r\\n", "staff"}, "\"staff\"\t50\r\n", "", 0, false, 'l'},
      {{"-Q", "i", "-q", "", "-i", "\\\"", "staff"}, "staff,\"50\"\n", "", 0, false, 'l'},
      {{"-Q", "d", "-q", "\\\\", "-d", "\\0", "staff"},
       std::string("\\staff\\\0"
                   "50\0\\\\\n",
                   14),
       "",
       0,
       false,
       'l'},
      {{"-r", "\\0", "-q", ""},
       std::string("root\0staff\0Domain Users\0caf\xc3\xa9\0", 30),
       "",
       0,
       false,
       'e'},
      {{"-S", "srv\\0x", "staff"}, "", "ERR: -S: a server name cannot hold a NUL (\\0)\n", 1},
      {{"-Q", "d", "-q", "", "-d", "", "-r", "", "staff"}, "staff50", "", 0, false, 'l'},
      {{"-q", "'", "-r", "\\N|", "Domain Users"}, "'Domain Users'\\N|", "", 0, false, 'l'},
      {{"-q", "\\", "-r", "\\n\\n", "caf\xc3\xa9"}, "\\caf\xc3\xa9\\\n\n", "", 0, false, 'l'},
      {{"-r", ";", "-q", "<\xe9>"},
       "<\xe9>root<\xe9>;<\xe9>staff<\xe9>;<\xe9>Domain Users<\xe9>;<\xe9>caf\xc3\xa9<\xe9>;",
       "",
       0,
       false,
       'e'},
  });
}

// -F csv and -F json: the records, and the runs refused because an option has no use with the
// format or would make a file no CSV reader can read back; any other format stays unhandled.
TEST(CommandLine, OutputFormats) {
  const std::string csv_delimiter =
      "ERR: -F csv needs a field delimiter of one space, tab (\\t) or ASCII punctuation character "
      "other than a double quote, such as , ; : or |\n";
  const std::string csv_end =
      "ERR: -F csv needs a record delimiter that ends a line: \\n or \\r\\n\n";
  expect_cases({
      {{"-F", "csv", "-Q", "i"},
       "name,id\n\"root\",0\n\"staff\",50\n\"Domain Users\",513\n\"caf\xc3\xa9\",1001\n",
       "",
       0,
       false,
       'e'},
      {{"-F", "csv", "-d", ";", "-r", "\\r\\n", "staff"},
       "name\r\n\"staff\"\r\n",
       "",
       0,
       false,
       'l'},
      {{"-F", "json", "-Q", "d", "staff"},
       "{\"name\":\"staff\",\"id\":50,\"description\":\"\"}\n",
       "",
       0,
       false,
       'l'},
      {{"-F", "csv", "nosuch"}, "", no_local_group("nosuch"), 1, false, 'l'},
      {{"-F", "csv", "-q", "'"}, "", "ERR: option -q has no use with -F csv\n", 1},
      {{"-i", "'", "-F", "csv"}, "", "ERR: option -i has no use with -F csv\n", 1},
      {{"-F", "json", "-d", ";"}, "", "ERR: option -d has no use with -F json\n", 1},
      {{"-F", "json", "-r", "\\n"}, "", "ERR: option -r has no use with -F json\n", 1},
      {{"-F", "csv", "-d", ""}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", ";;"}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", "\\\""}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", "\\n"}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", "e"}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", "5"}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", "\\0"}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", "\xc2\xa7"}, "", csv_delimiter, 1},
      {{"-F", "csv", "-d", " ", "-Q", "i", "staff"}, "name id\n\"staff\" 50\n", "", 0, false, 'l'},
      {{"-F", "csv", "-d", "|", "-Q", "i", "staff"}, "name|id\n\"staff\"|50\n", "", 0, false, 'l'},
      {{"-F", "csv", "-r", ";"}, "", csv_end, 1},
      {{"-F", "csv", "-r", ""}, "", csv_end, 1},
      {{"-F", "csv", "-r", "\\r"}, "", csv_end, 1},
      {{"-F", "csv", "-r", "\\0"}, "", csv_end, 1},
      {{"-F", "CSV"}, "", unknown_format("CSV"), 1},
      {{"-F", "csv", "-F", "xml"}, "", unknown_format("xml"), 1},
  });
}

TEST(CommandLine, ServerNamesThatNameNoHostFail) {
  const std::string kNoHost = "the server name names no host (2351)";
  expect_cases({
      {{"-S", ""}, "", listing_failure("\\\\", kNoHost), 1, false, 'e'},
      {{"-S", "\\\\"}, "", listing_failure("\\\\", kNoHost), 1, false, 'e'},
      {{"-S", "", "staff"}, "", lookup_failure("staff", "\\\\", kNoHost), 1, false, 'l'},
  });
}

TEST(CommandLine, LongWordsAreUsedWhole) {
  if (kWindows)
    GTEST_SKIP()
        << "Windows limits a command line to 32767 characters and names the program itself";
  NssDatabase database(kGroups + std::string(300, 'g') + ":x:7:\n");
  const std::string long_delimiter(5000, ';');
  const std::string long_program(3000, 'p');
  struct {
    std::vector<std::string> words;
    std::string program, out, err;
    int status;
  } cases[] = {
      {{"-Q", "i", "-d", long_delimiter, "staff"},
       "quillmot",
       "\"staff\"" + long_delimiter + "50\n",
       "",
       0},
      {{std::string(300, 'g')}, "quillmot", "\"" + std::string(300, 'g') + "\"\n", "", 0},
      {{std::string(100000, 'x')}, "quillmot", "", no_local_group(std::string(100000, 'x')), 1},
      {{"-h"}, long_program, "", usage(long_program), 0},
      {{"-y"},
       long_program,
       "",
       long_program + ": unrecognized option `-y'\n" + usage(long_program),
       1},
      {{"--help"}, long_program, usage(long_program), "", 0},
      {{"a", std::string(70000, 'b')},
       "quillmot",
       "",
       "ERR: unhandled argument " + std::string(70000, 'b') + "\n",
       1},
  };
  for (const auto& c : cases) {
    ProgramResult got = run(c.words, false, database, c.program);
    EXPECT_EQ(got.out, c.out);
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.exit_status, c.status);
  }
}

TEST(CommandLine, ProgramNameAsTyped) {
  if (kWindows) GTEST_SKIP() << "under Wine the program's name is the path Wine gives it";
  NssDatabase database(kGroups);
  ProgramResult got = run({"-z"}, false, database, "./bin/quill mot");
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err, "./bin/quill mot: unrecognized option `-z'\n" + usage("./bin/quill mot"));
  EXPECT_EQ(got.exit_status, 1);
}

}  // namespace
}  // namespace quillmot::testing
