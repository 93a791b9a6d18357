// Arbitrary settings and records through the record writer, checked against the plain
// definition: the fields and framing texts side by side, each character one byte.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "listing/record_writer.h"

namespace {

// Takes a length-prefixed run of 16-bit characters off the input.
std::u16string take_text(const uint8_t*& data, size_t& size, size_t most) {
  if (size == 0) return {};
  size_t length = std::min<size_t>(data[0], most);
  ++data;
  --size;
  std::u16string text;
  while (length-- > 0 && size >= 2) {
    text.push_back(static_cast<char16_t>(data[0] | (data[1] << 8)));
    data += 2;
    size -= 2;
  }
  return text;
}

std::string plain(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) bytes.push_back(c < 256 ? static_cast<char>(c) : '?');
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const auto level = static_cast<quillmot::QueryLevel>(data[0] % 3);
  // Some records must be larger than the output buffer, to reach the field-by-field path.
  const size_t repeat = data[1] == 0xFF ? 40000 : 1;
  uint32_t id = data[2] | (data[3] << 8) | (data[4] << 16) | (static_cast<uint32_t>(data[5]) << 24);
  data += 6;
  size -= 6;
  quillmot::RunSettings settings;
  settings.string_quote = take_text(data, size, 8);
  settings.integer_quote = take_text(data, size, 8);
  settings.field_delimiter = take_text(data, size, 8);
  settings.record_delimiter = take_text(data, size, 8);
  quillmot::GroupRecord record;
  std::u16string name = take_text(data, size, 255);
  for (size_t i = 0; i < repeat; ++i) record.name += name;
  record.group_id = id;
  record.comment = take_text(data, size, 255);

  quillmot::TextStream out;
  quillmot::RecordWriter writer(settings, out);
  writer.write_group_record(record, level);
  writer.write_group_record(record, level);

  const std::string sq = plain(settings.string_quote), iq = plain(settings.integer_quote);
  const std::string fd = plain(settings.field_delimiter), rd = plain(settings.record_delimiter);
  std::string one = sq + plain(record.name) + sq;
  if (level >= quillmot::kLevelNameAndId) one += fd + iq + std::to_string(id) + iq;
  if (level >= quillmot::kLevelNameIdAndDescription) one += fd + sq + plain(record.comment) + sq;
  one += rd;
  if (out.captured() != one + one) std::abort();
  return 0;
}
