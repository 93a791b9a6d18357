// The program's main procedure: read the command line, then look one group up or list them all.
#pragma once

#include <functional>
#include <memory>

#include "listing/group_writer.h"
#include "listing/run_settings.h"
#include "listing/text_stream.h"
#include "platform/group_directory.h"

namespace quillmot {

// Opens the directory for a server name; the program's entry passes open_group_directory, tests
// pass their own.
using DirectoryOpener = std::function<std::unique_ptr<GroupDirectory>(const WideText&)>;

// Returns the exit status.
int run_quillmot(int argc, char** argv, const DirectoryOpener& open_directory, TextStream& out,
                 TextStream& err);

// Writes the record of one group; 1 with an error line when it cannot be looked up.
int show_one_group(GroupDirectory& directory, const RunSettings& settings,
                   const WideText& group_name, GroupWriter& writer, TextStream& out,
                   TextStream& err);

// Writes every group, batch by batch; 1 with an error line when the enumeration fails or would
// never end, the records of earlier batches staying written. Stops at once, with 1, when standard
// output fails.
int list_all_groups(GroupDirectory& directory, const RunSettings& settings, GroupWriter& writer,
                    TextStream& out, TextStream& err);

// Flushes standard output and turns a failed write into "ERROR in write(): <reason>" and status 1;
// otherwise the run's own status stands.
int finish_output(int status, TextStream& out, TextStream& err);

}  // namespace quillmot
