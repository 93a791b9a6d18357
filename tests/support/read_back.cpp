#include "read_back.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "run_program.h"

namespace quillmot::testing {

std::vector<MadeRecord> hard_texts(bool name_safe) {
  std::vector<MadeRecord> texts = {
      {"say \"hi\"", 1, "\"quoted\""},
      {"\"start", 2, "end\""},
      {"a,b;c", 3, "x;y,z"},
      {"tab\there", 4, "back\\slash \\\""},
      {"caf\xc3\xa9 \xe2\x98\x83 \xf0\x9d\x84\x9e", 5, "\xd0\x9f\xd1\x80\xd0\xb8"},
      {"bad\xff\xfe", 6, "cut \xe2\x98"},
      {"del\x7f", 7, "\x01\x1f"},
      {"largest", 4294967295u, ""},
  };
  if (!name_safe) {
    texts.push_back({"line\nfeed", 8, "cr\rlf\r\nend"});
    texts.push_back({"", 9, "\r\n"});
  }
  return texts;
}

std::string hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 0xF];
  }
  return text;
}

std::string listing_script(const std::vector<MadeRecord>& records) {
  std::string script = "enum\t0\t0\t" + std::to_string(records.size()) + "\n";
  for (const MadeRecord& r : records)
    script +=
        "hexgroup\t" + std::to_string(r.id) + "\t" + hex(r.name) + "\t" + hex(r.comment) + "\n";
  return script;
}

std::string read_back(const std::string& format, int level, const std::string& delimiter,
                      const std::string& record_end, const std::string& output,
                      const std::vector<MadeRecord>& records) {
  char directory[] = "/tmp/quillmot-read-back-XXXXXX";
  if (mkdtemp(directory) == nullptr) return "no temporary directory";
  const std::string out = std::string(directory) + "/out", made = std::string(directory) + "/made";
  std::ofstream(out, std::ios::binary) << output;
  {
    std::ofstream list(made, std::ios::binary);
    for (const MadeRecord& r : records)
      list << hex(r.name) << ' ' << r.id << ' ' << hex(r.comment) << '\n';
  }
  ProgramRun run;
  run.file = "/bin/sh";
  run.argv = {"sh",
              "-c",
              "exec python3 \"$0\" \"$@\" <\"$OUT\" 3<\"$MADE\"",
              QUILLMOT_READ_BACK,
              format,
              std::to_string(level),
              delimiter,
              record_end};
  run.env = {"OUT=" + out, "MADE=" + made, "PATH=/usr/bin:/bin"};
  ProgramResult got = run_program(run);
  std::filesystem::remove_all(directory);
  if (got.exit_status != 0) return "read_back.py failed: " + got.err;
  return got.out;
}

}  // namespace quillmot::testing
