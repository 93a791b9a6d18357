#include "listing/csv_writer.h"

#include "listing/output_rule.h"

namespace quillmot {

namespace {

// A delimiter a reader can tell from a header's names, an identifier's digits and the quotes
// around a text: one space, tab or ASCII punctuation character other than the double quote.
bool readable_delimiter(const WideText& delimiter) {
  if (delimiter.size() != 1) return false;
  const char16_t c = delimiter[0];
  const bool punctuation = (c >= u'!' && c <= u'/') || (c >= u':' && c <= u'@') ||
                           (c >= u'[' && c <= u'`') || (c >= u'{' && c <= u'~');
  return c == u' ' || c == u'\t' || (punctuation && c != u'"');
}

std::string csv_refusal(const RunSettings& settings) {
  if (!readable_delimiter(settings.field_delimiter))
    return "ERR: -F csv needs a field delimiter of one space, tab (\\t) or ASCII punctuation "
           "character other than a double quote, such as , ; : or |\n";
  // A lone carriage return ends no line for most readers.
  if (settings.record_delimiter != u"\n" && settings.record_delimiter != u"\r\n")
    return "ERR: -F csv needs a record delimiter that ends a line: \\n or \\r\\n\n";
  return std::string();
}

std::unique_ptr<GroupWriter> make_csv_writer(const RunSettings& settings, TextStream& out,
                                             TextStream& err) {
  return std::make_unique<CsvWriter>(settings, out, err);
}

}  // namespace

const OutputFormat kCsvFormat = {"csv", "CSV with a header", "qi", csv_refusal, make_csv_writer};

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
  const bool whole = append_utf8_text(text_, text);
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
