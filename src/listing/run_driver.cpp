#include "listing/run_driver.h"

#include <utility>

#include "cli/command_line.h"

namespace quillmot {

namespace {

// Records already written go out first, so that a reader of both streams sees the error line
// after them.
int report_failure(const char* message, TextStream& out, TextStream& err) {
  out.flush();
  err.write_bytes(message);
  err.flush();
  return 1;
}

GroupRecord to_record(GroupEntry&& entry) {
  return GroupRecord{std::move(entry.name), entry.group_id, std::move(entry.comment)};
}

}  // namespace

int show_one_group(GroupDirectory& directory, const RunSettings& settings,
                   const WideText& group_name, RecordWriter& writer, TextStream& out,
                   TextStream& err) {
  GroupEntry entry;
  if (directory.NetGroupGetInfo(settings.server_name, group_name, &entry) != kNetSuccess)
    return report_failure("ERROR in NetGroupGetInfo()\n", out, err);
  writer.write_group_record(to_record(std::move(entry)), settings.query_level);
  return 0;
}

int list_all_groups(GroupDirectory& directory, const RunSettings& settings, RecordWriter& writer,
                    TextStream& out, TextStream& err) {
  uint32_t resume_handle = 0;
  GroupBatch batch;
  for (;;) {
    const uint32_t started_at = resume_handle;
    NetStatus status =
        directory.NetGroupEnum(settings.server_name, kPreferredMaxLength, &batch, &resume_handle);
    if (status != kNetSuccess && status != kNetErrorMoreData)
      return report_failure("ERROR in NetGroupEnum()\n", out, err);
    for (GroupEntry& entry : batch.entries)
      writer.write_group_record(to_record(std::move(entry)), settings.query_level);
    // The counts decide, not the status.
    const size_t entries_read = batch.entries.size();
    if (batch.total_entries == entries_read) return 0;
    // A directory that neither delivers nor moves on would be asked again forever.
    if (entries_read == 0 && resume_handle == started_at)
      return report_failure("ERROR in NetGroupEnum()\n", out, err);
  }
}

int run_quillmot(int argc, char** argv, const DirectoryOpener& open_directory, TextStream& out,
                 TextStream& err) {
  RunSettings settings;
  WideText group_name;
  if (auto status = read_command_line(argc, argv, settings, group_name, out, err)) return *status;
  std::unique_ptr<GroupDirectory> directory = open_directory(settings.server_name);
  RecordWriter writer(settings, out);
  if (!group_name.empty())
    return show_one_group(*directory, settings, group_name, writer, out, err);
  return list_all_groups(*directory, settings, writer, out, err);
}

}  // namespace quillmot
