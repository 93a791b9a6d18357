// The record writer against a raw copy of the same bytes, both into a sink that discards them.
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <string>
#include <vector>

#include "listing/record_writer.h"

namespace quillmot {
namespace {

std::vector<GroupRecord> sample_groups() {
  std::vector<GroupRecord> groups;
  for (uint32_t i = 0; i < 512; ++i)
    groups.push_back({u"Group number " + std::u16string(1, char16_t(u'A' + i % 26)) + u"-" +
                          std::u16string(i % 12, u'x'),
                      100000 + i, u"Members of team " + std::u16string(i % 20, u'y')});
  return groups;
}

int discard_fd() {
  static int fd = open("/dev/null", O_WRONLY);
  return fd;
}

void BM_Writer(benchmark::State& state) {
  const auto level = static_cast<QueryLevel>(state.range(0));
  const std::vector<GroupRecord> groups = sample_groups();
  RunSettings settings;
  TextStream sizing;
  RecordWriter sizer(settings, sizing);
  for (const GroupRecord& g : groups) sizer.write_group_record(g, level);
  const size_t bytes = sizing.captured().size();

  TextStream out(discard_fd());
  RecordWriter writer(settings, out);
  for (auto _ : state)
    for (const GroupRecord& g : groups) writer.write_group_record(g, level);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(groups.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_Writer)->Arg(0)->Arg(1)->Arg(2);

// The limit: the very bytes the writer produces, copied through the same stream.
void BM_RawCopy(benchmark::State& state) {
  const auto level = static_cast<QueryLevel>(state.range(0));
  const std::vector<GroupRecord> groups = sample_groups();
  RunSettings settings;
  std::vector<std::string> records;
  size_t bytes = 0;
  for (const GroupRecord& g : groups) {
    TextStream one;
    RecordWriter(settings, one).write_group_record(g, level);
    records.push_back(one.captured());
    bytes += records.back().size();
  }
  TextStream out(discard_fd());
  for (auto _ : state)
    for (const std::string& record : records) out.write_bytes(record);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(groups.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_RawCopy)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
}  // namespace quillmot

BENCHMARK_MAIN();
