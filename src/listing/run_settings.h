// The settings of one run and the record of one group, shared by the command-line reader, the run
// driver and the record writer.
#pragma once

#include <cstdint>

#include "base/wide_text.h"

namespace quillmot {

enum QueryLevel : int {
  kLevelName = 0,
  kLevelNameAndId = 1,
  kLevelNameIdAndDescription = 2,
};

struct OutputFormat;  // output_format.h

struct RunSettings {
  QueryLevel query_level = kLevelName;
  // The format -F names; null for the records framed as the options say.
  const OutputFormat* output_format = nullptr;
  WideText string_quote = u"\"";
  WideText integer_quote;
  WideText field_delimiter = u",";
  WideText record_delimiter = u"\n";
  // Empty asks the local machine; once -S is given it always holds at least two backslashes.
  WideText server_name;
};

struct GroupRecord {
  WideText name;
  uint32_t group_id = 0;
  WideText comment;
};

}  // namespace quillmot
