#include "listing/record_writer.h"

namespace quillmot {

RecordWriter::RecordWriter(const RunSettings& settings, TextStream& out)
    : out_(out),
      string_quote_(narrow_for_output(settings.string_quote)),
      integer_quote_(narrow_for_output(settings.integer_quote)),
      field_delimiter_(narrow_for_output(settings.field_delimiter)),
      record_delimiter_(narrow_for_output(settings.record_delimiter)) {}

void RecordWriter::write_group_record(const GroupRecord& record, QueryLevel query_level) {
  write_string_field(record.name);
  if (query_level >= kLevelNameAndId) {
    write_field_delimiter();
    write_number_field(record.group_id);
  }
  if (query_level >= kLevelNameIdAndDescription) {
    write_field_delimiter();
    write_string_field(record.comment);
  }
  write_record_delimiter();
}

void RecordWriter::write_string_field(std::u16string_view text) {
  out_.write_bytes(string_quote_);
  out_.write(text);
  out_.write_bytes(string_quote_);
}

void RecordWriter::write_number_field(uint32_t value) {
  out_.write_bytes(integer_quote_);
  out_.write_number(value);
  out_.write_bytes(integer_quote_);
}

}  // namespace quillmot
