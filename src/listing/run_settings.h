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

// -F: the default records framed as the options say, CSV or JSON Lines.
enum class OutputFormat { kDelimited, kCsv, kJson };

struct RunSettings {
  QueryLevel query_level = kLevelName;
  OutputFormat output_format = OutputFormat::kDelimited;
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
