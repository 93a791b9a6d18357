// The command line: options, the group name, the usage text and the version line.
#pragma once

#include <optional>

#include "listing/run_settings.h"
#include "listing/text_stream.h"

namespace quillmot {

// Reads the argument words into the settings and the group name (empty when no word names one).
// Returns nothing when the run should go on, or the exit status to end with when the command
// line has already been answered: help, version, or an error, each written to its stream.
std::optional<int> read_command_line(int argc, char** argv, RunSettings& settings,
                                     WideText& group_name, TextStream& out, TextStream& err);

// The usage text, on standard error after a mistake, on standard output when asked for (--help).
void print_usage(const char* program_name, TextStream& stream);

}  // namespace quillmot
