#include "listing/group_writer.h"

#include <string>

#include "listing/csv_writer.h"
#include "listing/json_writer.h"
#include "listing/record_writer.h"

namespace quillmot {

std::unique_ptr<GroupWriter> make_group_writer(const RunSettings& settings, TextStream& out,
                                               TextStream& err) {
  if (settings.output_format == OutputFormat::kDelimited)
    return std::make_unique<RecordWriter>(settings, out);
  // The formats promise their bytes: a line feed inside a CSV field must stay one.
  out.write_line_feeds_as_they_are();
  if (settings.output_format == OutputFormat::kCsv)
    return std::make_unique<CsvWriter>(settings, out, err);
  return std::make_unique<JsonWriter>(out, err);
}

void note_replaced_text(TextStream& err, uint32_t group_id) {
  err.write_bytes("quillmot: group " + std::to_string(group_id) +
                  ": a text that is not UTF-8, written with U+FFFD in place of what is not\n");
}

}  // namespace quillmot
