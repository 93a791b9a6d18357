#include "program/run_driver.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "cli/command_line.h"
#include "platform/enumeration_guard.h"

namespace quillmot {

namespace {

constexpr char kEnumError[] = "ERROR in NetGroupEnum()\n";
constexpr char kLookupError[] = "ERROR in NetGroupGetInfo()\n";

// Records already written go out first, so that a reader of both streams sees the error line
// after them. When standard output itself has failed, that failure is the one reported (by
// finish_output), not the operation that stopped because of it.
int report_failure(const char* message, TextStream& out, TextStream& err) {
  out.flush();
  if (out.failure() == 0) {
    err.write_bytes(message);
    err.flush();
  }
  return 1;
}

GroupRecord to_record(GroupEntry&& entry) {
  return GroupRecord{std::move(entry.name), entry.group_id, std::move(entry.comment)};
}

}  // namespace

int show_one_group(GroupDirectory& directory, const RunSettings& settings,
                   const WideText& group_name, RecordWriter& writer, TextStream& out,
                   TextStream& err) {
  try {
    GroupEntry entry;
    if (directory.NetGroupGetInfo(settings.server_name, group_name, &entry) != kNetSuccess)
      return report_failure(kLookupError, out, err);
    writer.write_group_record(to_record(std::move(entry)), settings.query_level);
  } catch (const std::bad_alloc&) {
    return report_failure(kLookupError, out, err);
  }
  return 0;
}

int list_all_groups(GroupDirectory& directory, const RunSettings& settings, RecordWriter& writer,
                    TextStream& out, TextStream& err) {
  ResumeHandle resume_handle = 0;
  EnumerationGuard guard;
  try {
    GroupBatch batch;
    for (;;) {
      NetStatus status =
          directory.NetGroupEnum(settings.server_name, kPreferredMaxLength, &batch, &resume_handle);
      if (status != kNetSuccess && status != kNetErrorMoreData)
        return report_failure(kEnumError, out, err);
      for (GroupEntry& entry : batch.entries) {
        writer.write_group_record(to_record(std::move(entry)), settings.query_level);
        // Standard output has failed: nothing more can reach it, so nothing more is asked.
        if (out.failure() != 0) return 1;
      }
      // The counts decide, not the status.
      const size_t entries_read = batch.entries.size();
      if (batch.total_entries == entries_read) return 0;
      if (!guard.may_go_on(resume_handle, entries_read, batch.total_entries))
        return report_failure(kEnumError, out, err);
    }
  } catch (const std::bad_alloc&) {
    return report_failure(kEnumError, out, err);
  }
}

int finish_output(int status, TextStream& out, TextStream& err) {
  out.flush();
  if (int error = out.failure()) {
    err.write_bytes(std::string("ERROR in write(): ") + std::strerror(error) + "\n");
    status = 1;
  }
  err.flush();
  return status;
}

int run_quillmot(int argc, char** argv, const DirectoryOpener& open_directory, TextStream& out,
                 TextStream& err) {
  RunSettings settings;
  WideText group_name;
  if (auto status = read_command_line(argc, argv, settings, group_name, out, err))
    return finish_output(*status, out, err);
  std::unique_ptr<GroupDirectory> directory = open_directory(settings.server_name);
  RecordWriter writer(settings, out);
  int status = group_name.empty()
                   ? list_all_groups(*directory, settings, writer, out, err)
                   : show_one_group(*directory, settings, group_name, writer, out, err);
  return finish_output(status, out, err);
}

}  // namespace quillmot
