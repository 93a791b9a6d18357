// How a run writes its groups: the default records framed by the command line's quotes and
// delimiters (record_writer.h), or a format that -F names (output_format.h), chosen once, when the
// writer is made.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "listing/run_settings.h"
#include "listing/text_stream.h"

namespace quillmot {

class GroupWriter {
 public:
  virtual ~GroupWriter() = default;
  // One record, whole.
  virtual void write_group_record(const GroupRecord& record, QueryLevel query_level) = 0;
  // After the last record of a run that succeeded.
  virtual void finish() {}
};

// The writer of the run's format, writing records to `out` and notes on what it had to change
// in a text to `err`.
std::unique_ptr<GroupWriter> make_group_writer(const RunSettings& settings, TextStream& out,
                                               TextStream& err);

// A directory's text as the formats carry it, appended to `bytes`: UTF-8 always, with U+FFFD for
// each part that is not (a Latin-1 group database, a server with another Unix character set);
// false when something was replaced. The one rule for every format that promises UTF-8.
bool append_utf8_text(std::string& bytes, std::u16string_view text);

// Says, on `err`, that a text of the group with this identifier was not UTF-8 and what was
// written in its place.
void note_replaced_text(TextStream& err, uint32_t group_id);

}  // namespace quillmot
