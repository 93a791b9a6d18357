#include "base/program_line.h"

#include "base/utf8.h"

namespace quillmot {

std::string shown(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size());
  const auto escape = [&](unsigned char c) {
    text += "\\x";
    text += kHex[c >> 4];
    text += kHex[c & 0xF];
  };
  for (size_t at = 0; at < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    size_t invalid = 0;
    if (c == '\t' || c == '\n' || c == '\r') {
      text += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
      ++at;
    } else if (c < 0x20 || c == 0x7F) {
      escape(c);
      ++at;
    } else if (size_t length = utf8_sequence(bytes, at, &invalid)) {
      text.append(bytes.substr(at, length));
      at += length;
    } else {
      for (size_t i = 0; i < invalid; ++i) escape(static_cast<unsigned char>(bytes[at + i]));
      at += invalid;
    }
  }
  return text;
}

std::string program_line(std::string_view text) {
  return "quillmot: " + shown(text) + "\n";
}

std::string with_status(const std::string& why, unsigned long status) {
  const std::string number = std::to_string(status);
  return why.empty() ? "status " + number : why + " (" + number + ")";
}

}  // namespace quillmot
