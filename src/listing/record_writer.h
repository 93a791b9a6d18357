// Writes groups as records framed by the quotes and delimiters of the run's settings. Nothing
// inside a field is escaped: the output is what the directory holds, byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "listing/group_writer.h"
#include "listing/run_settings.h"
#include "listing/text_stream.h"

namespace quillmot {

class RecordWriter : public GroupWriter {
 public:
  RecordWriter(const RunSettings& settings, TextStream& out);

  // One record and its record delimiter.
  void write_group_record(const GroupRecord& record, QueryLevel query_level) override;

 private:
  void write_string_field(std::u16string_view text);
  void write_number_field(uint32_t value);
  void write_field_delimiter() { out_.write_bytes(field_delimiter_); }
  void write_record_delimiter() { out_.write_bytes(record_delimiter_); }

  TextStream& out_;
  // The framing texts never change during a run, so they are converted to bytes once.
  std::string string_quote_;
  std::string integer_quote_;
  std::string field_delimiter_;
  std::string record_delimiter_;
};

}  // namespace quillmot
