#include "listing/record_writer.h"

#include <cstring>

#include "listing/output_rule.h"

namespace quillmot {

RecordWriter::RecordWriter(const RunSettings& settings, TextStream& out)
    : out_(out),
      string_quote_(narrow_for_output(settings.string_quote)),
      integer_quote_(narrow_for_output(settings.integer_quote)),
      field_delimiter_(narrow_for_output(settings.field_delimiter)),
      record_delimiter_(narrow_for_output(settings.record_delimiter)) {}

namespace {

// Framing texts are mostly one byte; the copy is cheaper inline than through memcpy.
inline char* put_bytes(char* at, const std::string& bytes) {
  if (bytes.empty()) return at;
  if (bytes.size() == 1) {
    *at = bytes[0];
    return at + 1;
  }
  std::memcpy(at, bytes.data(), bytes.size());
  return at + bytes.size();
}

}  // namespace

void RecordWriter::write_group_record(const GroupRecord& record, QueryLevel query_level) {
  // Every character becomes one byte, so the record's size is known before it is written: most
  // records go straight into the stream's buffer in one piece.
  size_t size = 2 * string_quote_.size() + record.name.size() + record_delimiter_.size();
  if (query_level >= kLevelNameAndId)
    size += field_delimiter_.size() + 2 * integer_quote_.size() + kMaxDigits;
  if (query_level >= kLevelNameIdAndDescription)
    size += field_delimiter_.size() + 2 * string_quote_.size() + record.comment.size();
  if (char* at = out_.claim(size)) {
    at = put_bytes(at, string_quote_);
    at = put_text(at, record.name);
    at = put_bytes(at, string_quote_);
    if (query_level >= kLevelNameAndId) {
      at = put_bytes(at, field_delimiter_);
      at = put_bytes(at, integer_quote_);
      at = put_number(at, record.group_id);
      at = put_bytes(at, integer_quote_);
    }
    if (query_level >= kLevelNameIdAndDescription) {
      at = put_bytes(at, field_delimiter_);
      at = put_bytes(at, string_quote_);
      at = put_text(at, record.comment);
      at = put_bytes(at, string_quote_);
    }
    at = put_bytes(at, record_delimiter_);
    out_.commit(at);
    return;
  }
  // A record larger than the whole buffer goes out field by field.
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
