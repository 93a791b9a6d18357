// CSV as RFC 4180 has it: a header naming the fields of the query level, then one record per
// group; every text in double quotes, a double quote inside it doubled, the identifier bare; UTF-8
// always. The field delimiter and the record end are the command line's, among those a reader can
// tell from the data (kCsvFormat's refusal says which).
#pragma once

#include <string>

#include "listing/group_writer.h"
#include "listing/output_format.h"

namespace quillmot {

extern const OutputFormat kCsvFormat;

class CsvWriter : public GroupWriter {
 public:
  CsvWriter(const RunSettings& settings, TextStream& out, TextStream& err);
  void write_group_record(const GroupRecord& record, QueryLevel query_level) override;
  // A listing without groups is still a file with its header.
  void finish() override;

 private:
  void write_header();
  bool append_text(std::u16string_view text);

  TextStream& out_;
  TextStream& err_;
  const QueryLevel query_level_;  // the header's: the run writes every record at it
  std::string delimiter_, record_end_;
  bool header_written_ = false;
  std::string line_, text_;
};

}  // namespace quillmot
