// An output format that -F names: everything the program knows of it in one record, defined beside
// its writer (csv_writer.cpp, json_writer.cpp) and listed once, where writers are made
// (group_writer.cpp).
#pragma once

#include <memory>
#include <string>

#include "listing/run_settings.h"
#include "listing/text_stream.h"

namespace quillmot {

class GroupWriter;

struct OutputFormat {
  const char* name;       // the value of -F
  const char* described;  // what it writes, for the usage text: "JSON Lines"
  // The framing options (q, i, d, r) the format writes for itself, which the command line may then
  // not set.
  const char* options_of_no_use;
  // The refusal ("ERR: ...\n") of framing options it takes but could not be read back with; empty
  // when they can.
  std::string (*refusal)(const RunSettings& settings);
  std::unique_ptr<GroupWriter> (*make_writer)(const RunSettings& settings, TextStream& out,
                                              TextStream& err);
};

// The format of that name; null when there is none.
const OutputFormat* find_output_format(const std::string& name);

// The names, for the line that says which are taken: "csv or json".
std::string output_format_names();

// The usage text's line for -F, without its indent: "-F csv|json  write CSV with a header, or JSON
// Lines".
std::string output_format_usage();

}  // namespace quillmot
