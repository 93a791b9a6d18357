#include "platform/directory_text.h"

namespace quillmot {

namespace {

void append_utf8(std::string& bytes, char32_t c) {
  if (c < 0x80) {
    bytes.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
    bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
    bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    bytes.push_back(static_cast<char>(0xF0 | (c >> 18)));
    bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

bool append_directory_text(std::string& bytes, std::u16string_view text) {
  bool whole = true;
#ifdef _WIN32
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
      whole = false;
    }
    append_utf8(bytes, c);
  }
#else
  bytes.reserve(bytes.size() + text.size());
  for (char16_t c : text) {
    if (c < 256)
      bytes.push_back(static_cast<char>(c));
    else
      append_utf8(bytes, c);
  }
#endif
  return whole;
}

}  // namespace quillmot
