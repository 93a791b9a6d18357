#include "program/run_driver.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "base/program_line.h"
#include "base/wide_text.h"
#include "cli/command_line.h"
#include "platform/enumeration_guard.h"

namespace quillmot {

namespace {

constexpr char kEnumError[] = "ERROR in NetGroupEnum()\n";
constexpr char kLookupError[] = "ERROR in NetGroupGetInfo()\n";

// Records already written go out first, so that a reader of both streams sees the error line
// after them, and the line saying why right before it. When standard output itself has failed,
// that failure is the one reported (by finish_output), not the operation that stopped because of
// it.
int report_failure(const char* message, const std::optional<std::string>& reason, TextStream& out,
                   TextStream& err) {
  out.flush();
  if (out.failure() == 0) {
    if (reason) err.write_bytes(program_line(*reason));
    err.write_bytes(message);
    err.flush();
  }
  return 1;
}

// A word of the command line, which was bytes widened one by one, as those bytes again.
std::string as_typed(const WideText& word) {
  std::string bytes;
  narrow_bytes(word, &bytes);
  return bytes;
}

// Where a call went, as the reason line names it: the server as the command line named it, or
// this machine.
std::string where(const RunSettings& settings) {
  return settings.server_name.empty() ? "this machine" : as_typed(settings.server_name);
}

// What a lookup's status means in plain words, where the directory's own text hides it: a Samba
// domain controller answers a name it does not know with "No mapping between account names and
// SIDs was done." (1332) and a user's name with "The specified data type is invalid." (1804);
// Windows and the group database answer both with 2220.
const char* plain_lookup_words(NetStatus status) {
  switch (status) {
    case kNetGroupNotFound:
    case kNetErrorNoneMapped:
      return "no group of that name";
    case kNetErrorInvalidDatatype:
      return "that name is not a group's";
    default:
      return nullptr;
  }
}

// What failed, then why: in plain words where the status has them, then in the directory's own
// words, then the status: "listing the groups of \\srv: The RPC server is unavailable. (1722)",
// "looking up "x" on \\srv: no group of that name: No mapping between account names and SIDs was
// done. (1332)".
std::optional<std::string> reason(GroupDirectory& directory, NetStatus status,
                                  const std::string& what, const char* plain = nullptr) {
  std::optional<std::string> text = directory.failure_text(status);
  if (!text) return std::nullopt;
  std::string why = plain != nullptr ? plain : "";
  if (!text->empty()) why += (why.empty() ? "" : ": ") + *text;
  return what + ": " + with_status(why, status);
}

GroupRecord to_record(GroupEntry&& entry) {
  return GroupRecord{std::move(entry.name), entry.group_id, std::move(entry.comment)};
}

}  // namespace

int show_one_group(GroupDirectory& directory, const RunSettings& settings,
                   const WideText& group_name, GroupWriter& writer, TextStream& out,
                   TextStream& err) {
  const std::string what = "looking up \"" + as_typed(group_name) + "\" on " + where(settings);
  try {
    GroupEntry entry;
    NetStatus status = directory.NetGroupGetInfo(settings.server_name, group_name, &entry);
    if (status != kNetSuccess)
      return report_failure(kLookupError,
                            reason(directory, status, what, plain_lookup_words(status)), out, err);
    writer.write_group_record(to_record(std::move(entry)), settings.query_level);
  } catch (const std::bad_alloc&) {
    return report_failure(kLookupError, what + ": out of memory", out, err);
  }
  return 0;
}

int list_all_groups(GroupDirectory& directory, const RunSettings& settings, GroupWriter& writer,
                    TextStream& out, TextStream& err) {
  const std::string what = "listing the groups of " + where(settings);
  ResumeHandle resume_handle = 0;
  EnumerationGuard guard;
  try {
    GroupBatch batch;
    for (;;) {
      NetStatus status =
          directory.NetGroupEnum(settings.server_name, kPreferredMaxLength, &batch, &resume_handle);
      if (status != kNetSuccess && status != kNetErrorMoreData)
        return report_failure(kEnumError, reason(directory, status, what), out, err);
      for (GroupEntry& entry : batch.entries) {
        writer.write_group_record(to_record(std::move(entry)), settings.query_level);
        // Standard output has failed: nothing more can reach it, so nothing more is asked.
        if (out.failure() != 0) return 1;
      }
      // The counts decide, not the status.
      const size_t entries_read = batch.entries.size();
      if (batch.total_entries == entries_read) return 0;
      if (!guard.may_go_on(resume_handle, entries_read, batch.total_entries))
        return report_failure(
            kEnumError, what + ": the directory kept saying more groups remain without moving on",
            out, err);
    }
  } catch (const std::bad_alloc&) {
    return report_failure(kEnumError, what + ": out of memory", out, err);
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
  std::unique_ptr<GroupWriter> writer = make_group_writer(settings, out, err);
  int status = group_name.empty()
                   ? list_all_groups(*directory, settings, *writer, out, err)
                   : show_one_group(*directory, settings, group_name, *writer, out, err);
  if (status == 0) writer->finish();
  return finish_output(status, out, err);
}

}  // namespace quillmot
