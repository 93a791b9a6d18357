// Records of arbitrary bytes written as CSV and as JSON Lines, and read back: CSV by this file's
// own RFC 4180 reader, JSON by nlohmann-json. Every UTF-8 text comes back as it went in; in both
// formats a text that is not UTF-8 comes back as the same valid UTF-8 holding U+FFFD, with a line
// on standard error.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "listing/csv_writer.h"
#include "listing/json_writer.h"

namespace {

std::string take_bytes(const uint8_t*& data, size_t& size) {
  if (size == 0) return {};
  size_t length = std::min<size_t>(data[0], size - 1);
  std::string bytes(reinterpret_cast<const char*>(data + 1), length);
  data += length + 1;
  size -= length + 1;
  return bytes;
}

// The group database's way: each byte one character.
std::u16string widen(const std::string& bytes) {
  std::u16string text;
  for (unsigned char c : bytes) text.push_back(c);
  return text;
}

// RFC 4180, read strictly: the records of `file`, each a list of fields.
std::vector<std::vector<std::string>> read_csv(const std::string& file, char delimiter,
                                               const std::string& end) {
  std::vector<std::vector<std::string>> records;
  size_t at = 0;
  while (at < file.size()) {
    std::vector<std::string> fields;
    for (;;) {
      std::string field;
      if (file[at] == '"') {
        for (++at;; ++at) {
          if (at >= file.size()) std::abort();  // an unclosed quote
          if (file[at] != '"') {
            field += file[at];
          } else if (at + 1 < file.size() && file[at + 1] == '"') {
            field += '"';
            ++at;
          } else {
            ++at;
            break;
          }
        }
      } else {
        while (at < file.size() && file[at] != delimiter && file.compare(at, end.size(), end) != 0)
          field += file[at++];
      }
      fields.push_back(field);
      if (at < file.size() && file[at] == delimiter) {
        ++at;
        continue;
      }
      if (file.compare(at, end.size(), end) != 0) std::abort();  // junk after a field
      at += end.size();
      break;
    }
    records.push_back(fields);
  }
  return records;
}

bool is_utf8(const std::string& bytes) {
  return quillmot::valid_utf8(bytes);
}

// What a format carries of a text: itself when it is UTF-8; U+FFFD in place of what is not.
std::string carried(const std::string& bytes) {
  std::string text;
  quillmot::append_valid_utf8(text, bytes);
  if (is_utf8(bytes) != (text == bytes) || !is_utf8(text)) std::abort();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const auto level = static_cast<quillmot::QueryLevel>(data[0] % 3);
  const char delimiter = ",;\t|"[data[1] % 4];
  const std::string end = data[1] & 4 ? "\r\n" : "\n";
  const uint32_t id =
      data[2] | (data[3] << 8) | (data[4] << 16) | (static_cast<uint32_t>(data[5]) << 24);
  data += 6;
  size -= 6;
  const std::string name = take_bytes(data, size), comment = take_bytes(data, size);
  const quillmot::GroupRecord record{widen(name), id, widen(comment)};

  quillmot::RunSettings settings;
  settings.query_level = level;
  settings.field_delimiter = std::u16string(1, static_cast<char16_t>(delimiter));
  settings.record_delimiter = widen(end);
  quillmot::TextStream csv, json, err;
  quillmot::CsvWriter csv_writer(settings, csv, err);
  quillmot::JsonWriter json_writer(json, err);
  for (int i = 0; i < 2; ++i) {
    csv_writer.write_group_record(record, level);
    json_writer.write_group_record(record, level);
  }

  std::vector<std::string> wanted = {carried(name), std::to_string(id), carried(comment)};
  wanted.resize(level + 1);
  std::vector<std::string> header = {"name", "id", "description"};
  header.resize(level + 1);
  const auto records = read_csv(csv.captured(), delimiter, end);
  if (records.size() != 3 || records[0] != header || records[1] != wanted || records[2] != wanted)
    std::abort();

  const std::string& lines = json.captured();
  size_t start = 0;
  for (int i = 0; i < 2; ++i) {
    const size_t stop = lines.find('\n', start);
    if (stop == std::string::npos) std::abort();
    const nlohmann::json object = nlohmann::json::parse(lines.substr(start, stop - start));
    start = stop + 1;
    if (object.size() != static_cast<size_t>(level) + 1) std::abort();
    const auto text_back = [&](const char* key, const std::string& text) {
      if (object.at(key).get<std::string>() != carried(text)) std::abort();
    };
    text_back("name", name);
    if (level >= quillmot::kLevelNameAndId && object.at("id").get<uint32_t>() != id) std::abort();
    if (level >= quillmot::kLevelNameIdAndDescription) text_back("description", comment);
  }
  if (start != lines.size()) std::abort();
  const bool replaced =
      !is_utf8(name) || (level >= quillmot::kLevelNameIdAndDescription && !is_utf8(comment));
  // One line for each record of each format that had something replaced.
  const std::string note = "quillmot: group " + std::to_string(id) +
                           ": a text that is not UTF-8, written with U+FFFD in place of what is "
                           "not\n";
  std::string notes;
  for (int i = 0; replaced && i < 4; ++i) notes += note;
  if (err.captured() != notes) std::abort();
  return 0;
}
