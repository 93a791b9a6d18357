#include "listing/group_writer.h"

#include <iterator>
#include <string>

#include "base/program_line.h"
#include "base/utf8.h"
#include "listing/csv_writer.h"
#include "listing/json_writer.h"
#include "listing/output_format.h"
#include "listing/record_writer.h"
#include "platform/directory_text.h"

namespace quillmot {

namespace {

// Every format -F takes, in the order the usage text and refusals name them.
const OutputFormat* const kFormats[] = {&kCsvFormat, &kJsonFormat};

// One text of each format, in that order: "a, b or c".
std::string each_format(const char* OutputFormat::*text, const char* between,
                        const char* before_last) {
  std::string joined;
  const size_t count = std::size(kFormats);
  for (size_t i = 0; i < count; ++i)
    joined += std::string(i == 0           ? ""
                          : i + 1 == count ? before_last
                                           : between) +
              kFormats[i]->*text;
  return joined;
}

}  // namespace

const OutputFormat* find_output_format(const std::string& name) {
  for (const OutputFormat* format : kFormats)
    if (name == format->name) return format;
  return nullptr;
}

std::string output_format_names() {
  return each_format(&OutputFormat::name, ", ", " or ");
}

std::string output_format_usage() {
  return "-F " + each_format(&OutputFormat::name, "|", "|") + "  write " +
         each_format(&OutputFormat::described, ", ", ", or ");
}

std::unique_ptr<GroupWriter> make_group_writer(const RunSettings& settings, TextStream& out,
                                               TextStream& err) {
  if (settings.output_format == nullptr) return std::make_unique<RecordWriter>(settings, out);
  // The formats promise their bytes: a line feed inside a CSV field must stay one.
  out.write_line_feeds_as_they_are();
  return settings.output_format->make_writer(settings, out, err);
}

bool append_utf8_text(std::string& bytes, std::u16string_view text) {
  const size_t start = bytes.size();
  const bool converted = append_directory_text(bytes, text);
  // Nearly always UTF-8 already: checked where it lies, and rewritten only when it is not.
  if (valid_utf8(std::string_view(bytes).substr(start))) return converted;
  const std::string added = bytes.substr(start);
  bytes.resize(start);
  append_valid_utf8(bytes, added);
  return false;
}

void note_replaced_text(TextStream& err, uint32_t group_id) {
  err.write_bytes(program_line("group " + std::to_string(group_id) +
                               ": a text that is not UTF-8, written with U+FFFD in place of "
                               "what is not"));
}

}  // namespace quillmot
