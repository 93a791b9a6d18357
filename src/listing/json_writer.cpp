#include "listing/json_writer.h"

#include "listing/output_rule.h"

namespace quillmot {

namespace {

std::unique_ptr<GroupWriter> make_json_writer(const RunSettings&, TextStream& out,
                                              TextStream& err) {
  return std::make_unique<JsonWriter>(out, err);
}

std::string no_refusal(const RunSettings&) {
  return std::string();
}

}  // namespace

// Every framing option is JSON's own to write.
const OutputFormat kJsonFormat = {"json", "JSON Lines", "qidr", no_refusal, make_json_writer};

void append_json_string_body(std::string& json, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto plain = [](unsigned char c) {
    return c >= 0x20 && c != 0x7F && c != '"' && c != '\\';
  };
  for (size_t at = 0; at < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    if (plain(c)) {
      // A run of what needs no escape (UTF-8 sequences included) goes in at once.
      size_t end = at + 1;
      while (end < bytes.size() && plain(static_cast<unsigned char>(bytes[end]))) ++end;
      json.append(bytes.substr(at, end - at));
      at = end;
      continue;
    }
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
  }
}

JsonWriter::JsonWriter(TextStream& out, TextStream& err) : out_(out), err_(err) {}

bool JsonWriter::append_string(std::u16string_view text) {
  text_.clear();
  const bool whole = append_utf8_text(text_, text);
  line_ += '"';
  append_json_string_body(line_, text_);
  line_ += '"';
  return whole;
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
