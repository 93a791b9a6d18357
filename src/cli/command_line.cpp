#include "cli/command_line.h"

#include <charconv>
#include <cstring>
#include <string>

#include "base/program_line.h"
#include "base/wide_text.h"
#include "cli/escapes.h"
#include "listing/output_format.h"
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

// A word that begins with "--" and is more than that: the GNU long options --help and --version,
// which answer on standard output, or a word named whole in the diagnostic. The scanner has just
// reported its second dash as an unknown letter: no letter can come before a dash in a group, as
// every letter the program knows either takes the rest of the word or ends the run.
const char* long_option_word(const OptionScanner& scanner, int argc, char** argv) {
  if (scanner.letter() != '-' || scanner.index() >= argc) return nullptr;
  const char* word = argv[scanner.index()];
  return std::strncmp(word, "--", 2) == 0 && word[2] != '\0' ? word : nullptr;
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

int usage_and_status(const char* program_name, int status, TextStream& stream) {
  print_usage(program_name, stream);
  return status;
}

}  // namespace

void print_usage(const char* program_name, TextStream& stream) {
  stream.write_bytes("# Usage: ");
  stream.write_bytes(program_name);
  stream.write_bytes(
      " [options] [group]\n"
      "#   group   : look this one group up (default: list every group)\n"
      "#   options :\n"
      "#     -Q <qt> query <qt> groups (default: name)\n"
      "#        <qt>  : \"n\" name, \"i\" name and id, \"d\" name, id and description\n"
      "#     -q <s> String Quote character\n"
      "#     -i <s> Integer Quote character\n"
      "#     -d <s> field delimitation character\n"
      "#     -r <s> record delimitation character\n"
      "#        <s>   : any string, including \\n, \\r, \\0, \\t, \\\", \\\\\n");
  stream.write_bytes("#     " + output_format_usage() + "\n");
  stream.write_bytes(
      "#     -S <s> query information from server <s>\n"
      "#     -v     show version info (also --version)\n"
      "#     -h     show this help screen (also --help)\n");
}

namespace {

// The options a format writes for itself, which the command line may then not set, and those it
// takes but could not be read back with.
std::optional<int> check_format(const RunSettings& settings, const std::string& framing_given,
                                TextStream& err) {
  const OutputFormat* format = settings.output_format;
  if (format == nullptr) return std::nullopt;
  for (char letter : framing_given) {
    if (std::strchr(format->options_of_no_use, letter) != nullptr) {
      err.write_bytes(std::string("ERR: option -") + letter + " has no use with -F " +
                      format->name + "\n");
      return 1;
    }
  }
  if (std::string refusal = format->refusal(settings); !refusal.empty()) {
    err.write_bytes(refusal);
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
            err.write_bytes(program_line("unknown query level \"" + std::string(scanner.value()) +
                                         "\": -Q takes n (name), i (name and id) or d (name, id "
                                         "and description)"));
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
        settings.output_format = find_output_format(scanner.value());
        if (settings.output_format == nullptr) {
          err.write_bytes(program_line("unknown format \"" + std::string(scanner.value()) +
                                       "\": -F takes " + output_format_names()));
          err.write_bytes("ERR: unhandled option F\n");
          return 1;
        }
        break;
      case 'S':
        settings.server_name = decode_escapes(value);
        // A host name is a C string on every platform: a NUL would cut it short silently.
        if (settings.server_name.find(u'\0') != std::u16string::npos) {
          err.write_bytes("ERR: -S: a server name cannot hold a NUL (\\0)\n");
          return 1;
        }
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
        if (const char* word = long_option_word(scanner, argc, argv)) {
          if (std::strcmp(word, "--help") == 0) return usage_and_status(program_name, 0, out);
          if (std::strcmp(word, "--version") == 0) {
            print_version(out);
            return 0;
          }
          err.write_bytes(std::string(program_name) + ": unrecognized option `" + shown(word) +
                          "'\n");
          return usage_and_status(program_name, 1, err);
        }
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
