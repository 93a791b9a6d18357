// JSON Lines: one object a group, a line feed after each, with the keys of the query level in
// order: {"name":"Domain Users","id":513,"description":"All domain users"}. Always valid JSON:
// quotes, backslashes and control characters escaped, and what is not UTF-8 in a text written as
// U+FFFD, with a line on standard error naming the group's identifier.
#pragma once

#include <string>

#include "listing/group_writer.h"
#include "listing/output_format.h"

namespace quillmot {

extern const OutputFormat kJsonFormat;

class JsonWriter : public GroupWriter {
 public:
  JsonWriter(TextStream& out, TextStream& err);
  void write_group_record(const GroupRecord& record, QueryLevel query_level) override;

 private:
  bool append_string(std::u16string_view text);

  TextStream& out_;
  TextStream& err_;
  std::string line_, text_;
};

// Appends UTF-8 `bytes` to `json` as the inside of a JSON string: quotes, backslashes and control
// characters escaped, the rest as it is.
void append_json_string_body(std::string& json, std::string_view bytes);

}  // namespace quillmot
