#include "listing/csv_writer.h"

#include "listing/output_rule.h"
#include "platform/directory_text.h"

namespace quillmot {

CsvWriter::CsvWriter(const RunSettings& settings, TextStream& out, TextStream& err)
    : out_(out),
      err_(err),
      query_level_(settings.query_level),
      delimiter_(narrow_for_output(settings.field_delimiter)),
      record_end_(narrow_for_output(settings.record_delimiter)) {}

void CsvWriter::write_header() {
  header_written_ = true;
  std::string header = "name";
  if (query_level_ >= kLevelNameAndId) header += delimiter_ + "id";
  if (query_level_ >= kLevelNameIdAndDescription) header += delimiter_ + "description";
  out_.write_bytes(header + record_end_);
}

bool CsvWriter::append_text(std::u16string_view text) {
  text_.clear();
  const bool whole = append_directory_text(text_, text);
  line_ += '"';
  for (size_t at = 0;;) {
    const size_t quote = text_.find('"', at);
    if (quote == std::string::npos) {
      line_.append(text_, at);
      break;
    }
    line_.append(text_, at, quote + 1 - at);
    line_ += '"';
    at = quote + 1;
  }
  line_ += '"';
  return whole;
}

void CsvWriter::write_group_record(const GroupRecord& record, QueryLevel query_level) {
  if (!header_written_) write_header();
  line_.clear();
  bool whole = append_text(record.name);
  if (query_level >= kLevelNameAndId) {
    line_ += delimiter_;
    char digits[kMaxDigits];
    line_.append(digits, put_number(digits, record.group_id));
  }
  if (query_level >= kLevelNameIdAndDescription) {
    line_ += delimiter_;
    whole = append_text(record.comment) && whole;
  }
  line_ += record_end_;
  out_.write_bytes(line_);
  if (!whole) note_replaced_text(err_, record.group_id);
}

void CsvWriter::finish() {
  if (!header_written_) write_header();
}

}  // namespace quillmot
