#include "cli/command_line.h"

#include <charconv>
#include <cstring>
#include <string>

#include "base/wide_text.h"
#include "cli/escapes.h"
#include "platform/option_scanner.h"

namespace quillmot {

namespace {

constexpr char kProgramName[] = "Quillmot";
constexpr int kVersionMajor = 0;
constexpr int kVersionMinor = 6;
constexpr char kNotice[] = "Copyright (c) 2026 the Quillmot authors";

// Every letter that takes a value is followed by a colon. The leading colon makes the scanner
// tell a missing value apart from an unknown letter. '?' is left out on purpose: the scanner then
// reports "-?" as an unknown letter '?', which is unambiguous, and we answer it with the help text
// exactly as if it were listed.
constexpr char kOptionLetters[] = ":Q:S:q:i:d:r:vhHF:";

void print_version(TextStream& out) {
  std::string line = std::string(kProgramName) + " v" + std::to_string(kVersionMajor) + "." +
                     std::to_string(kVersionMinor) + " " + kNotice + "\n";
  out.write_bytes(line);
}

void print_unrecognized(const char* program_name, int letter, TextStream& err) {
  std::string line = std::string(program_name) + ": unrecognized option";
  // The scanner hands bytes of 128 and above over as negative numbers; the message shows that
  // number's 32-bit octal form.
  if (letter >= 32 && letter <= 126) {
    line += " `-";
    line += static_cast<char>(letter);
    line += "'\n";
  } else {
    char digits[12];
    auto end = std::to_chars(digits, digits + sizeof digits,
                             static_cast<uint32_t>(static_cast<signed char>(letter)), 8)
                   .ptr;
    line += ", character code 0";
    line.append(digits, end);
    line += "\n";
  }
  err.write_bytes(line);
}

int usage_and_status(const char* program_name, int status, TextStream& err) {
  print_usage(program_name, err);
  return status;
}

}  // namespace

void print_usage(const char* program_name, TextStream& err) {
  err.write_bytes("# Usage: ");
  err.write_bytes(program_name);
  err.write_bytes(
      " [options]\n"
      "#   options :\n"
      "#     -Q <qt> query <qt> groups (default: name)\n"
      "#        <qt>  : \"n\" name, \"i\" name and id, \"d\" name, id and description\n"
      "#     -q <s> String Quote character\n"
      "#     -i <s> Integer Quote character\n"
      "#     -d <s> field delimitation character\n"
      "#     -r <s> record delimitation character\n"
      "#        <s>   : any string, including \\n, \\r, \\0, \\t, \\\"\n"
      "#     -S <s> query information from server <s>\n"
      "#     -v     show version info\n"
      "#     -h     show this help screen\n");
}

namespace {

// The options a format writes for itself, which the command line may then not set; and the
// delimiters CSV readers can read back (one character, no quote, no line end; a line end).
std::optional<int> check_format(const RunSettings& settings, const std::string& framing_given,
                                TextStream& err) {
  if (settings.output_format == OutputFormat::kDelimited) return std::nullopt;
  const bool json = settings.output_format == OutputFormat::kJson;
  const std::string format = json ? "json" : "csv";
  for (char letter : framing_given) {
    if (json || letter == 'q' || letter == 'i') {
      err.write_bytes(std::string("ERR: option -") + letter + " has no use with -F " + format +
                      "\n");
      return 1;
    }
  }
  if (json) return std::nullopt;
  const WideText& delimiter = settings.field_delimiter;
  if (delimiter.size() != 1 || delimiter[0] >= 0x80 || delimiter[0] == u'"' ||
      delimiter[0] == u'\r' || delimiter[0] == u'\n') {
    err.write_bytes(
        "ERR: -F csv needs a field delimiter of one ASCII character other than a double quote or "
        "a line end\n");
    return 1;
  }
  const WideText& end = settings.record_delimiter;
  if (end != u"\n" && end != u"\r\n" && end != u"\r") {
    err.write_bytes("ERR: -F csv needs a record delimiter that ends a line: \\n or \\r\\n\n");
    return 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> read_command_line(int argc, char** argv, RunSettings& settings,
                                     WideText& group_name, TextStream& out, TextStream& err) {
  group_name.clear();
  std::string framing_given;  // which of -q, -i, -d and -r were given
  const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  OptionScanner scanner(argc, argv, kOptionLetters);
  for (;;) {
    int letter = scanner.next();
    if (letter == -1) break;
    std::u16string value = scanner.value() ? widen_bytes(scanner.value()) : std::u16string();
    switch (letter) {
      case 'Q':
        switch (scanner.value()[0]) {
          case 'n':
            settings.query_level = kLevelName;
            break;
          case 'i':
            settings.query_level = kLevelNameAndId;
            break;
          case 'd':
            settings.query_level = kLevelNameIdAndDescription;
            break;
          default:
            return usage_and_status(program_name, 1, err);
        }
        break;
      case 'q':
        settings.string_quote = decode_escapes(value);
        framing_given += 'q';
        break;
      case 'i':
        settings.integer_quote = decode_escapes(value);
        framing_given += 'i';
        break;
      case 'd':
        settings.field_delimiter = decode_escapes(value);
        framing_given += 'd';
        break;
      case 'r':
        settings.record_delimiter = decode_escapes(value);
        framing_given += 'r';
        break;
      case 'F':
        if (std::strcmp(scanner.value(), "csv") == 0) {
          settings.output_format = OutputFormat::kCsv;
        } else if (std::strcmp(scanner.value(), "json") == 0) {
          settings.output_format = OutputFormat::kJson;
        } else {
          err.write_bytes("ERR: unhandled option F\n");
          return 1;
        }
        break;
      case 'S':
        settings.server_name = decode_escapes(value);
        normalize_server_name(settings.server_name);
        break;
      case 'v':
        print_version(out);
        return 0;
      case 'h':
      case 'H':
        return usage_and_status(program_name, 0, err);
      case ':':
        err.write_bytes(std::string(program_name) + ": option `-" +
                        static_cast<char>(scanner.letter()) + "' requires an argument\n");
        return usage_and_status(program_name, 1, err);
      case '?':
        if (scanner.letter() == '?') return usage_and_status(program_name, 0, err);
        print_unrecognized(program_name, scanner.letter(), err);
        return usage_and_status(program_name, 1, err);
      default:
        err.write_bytes(std::string("ERR: unhandled option ") + static_cast<char>(letter) + "\n");
        return 1;
    }
  }
  int rest = scanner.index();
  if (rest < argc) group_name = widen_bytes(argv[rest]);
  if (rest + 1 < argc) {
    err.write_bytes(std::string("ERR: unhandled argument ") + argv[rest + 1] + "\n");
    return 1;
  }
  return check_format(settings, framing_given, err);
}

}  // namespace quillmot
