#include "listing/json_writer.h"

#include "listing/output_rule.h"
#include "platform/directory_text.h"

namespace quillmot {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// How many bytes of a valid UTF-8 sequence start at `at`; 0 when none does, with `invalid` set to
// the length of the maximal part that could have begun one (at least 1).
size_t utf8_sequence(std::string_view bytes, size_t at, size_t* invalid) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  *invalid = 1;
  if (length == 0) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= bytes.size()) return 0;
    const unsigned char c = byte(at + i);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
    *invalid = i + 1;
  }
  return length;
}

}  // namespace

bool append_json_string_body(std::string& json, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  bool whole = true;
  for (size_t at = 0; at < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      // A run of what needs no escape goes in at once.
      size_t end = at + 1;
      while (end < bytes.size()) {
        const unsigned char next = static_cast<unsigned char>(bytes[end]);
        if (next < 0x20 || next >= 0x7F || next == '"' || next == '\\') break;
        ++end;
      }
      json.append(bytes.substr(at, end - at));
      at = end;
    } else if (c < 0x80) {
      switch (c) {
        case '"':
          json += "\\\"";
          break;
        case '\\':
          json += "\\\\";
          break;
        case '\b':
          json += "\\b";
          break;
        case '\f':
          json += "\\f";
          break;
        case '\n':
          json += "\\n";
          break;
        case '\r':
          json += "\\r";
          break;
        case '\t':
          json += "\\t";
          break;
        default:
          json += "\\u00";
          json += kHex[c >> 4];
          json += kHex[c & 0xF];
      }
      ++at;
    } else {
      size_t invalid = 0;
      if (size_t length = utf8_sequence(bytes, at, &invalid)) {
        json.append(bytes.substr(at, length));
        at += length;
      } else {
        json += kReplacement;
        whole = false;
        at += invalid;
      }
    }
  }
  return whole;
}

JsonWriter::JsonWriter(TextStream& out, TextStream& err) : out_(out), err_(err) {}

bool JsonWriter::append_string(std::u16string_view text) {
  text_.clear();
  const bool converted = append_directory_text(text_, text);
  line_ += '"';
  const bool whole = append_json_string_body(line_, text_);
  line_ += '"';
  return converted && whole;
}

void JsonWriter::write_group_record(const GroupRecord& record, QueryLevel query_level) {
  line_.assign("{\"name\":");
  bool whole = append_string(record.name);
  if (query_level >= kLevelNameAndId) {
    line_ += ",\"id\":";
    char digits[kMaxDigits];
    line_.append(digits, put_number(digits, record.group_id));
  }
  if (query_level >= kLevelNameIdAndDescription) {
    line_ += ",\"description\":";
    whole = append_string(record.comment) && whole;
  }
  line_ += "}\n";
  out_.write_bytes(line_);
  if (!whole) note_replaced_text(err_, record.group_id);
}

}  // namespace quillmot
