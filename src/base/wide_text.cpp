#include "base/wide_text.h"

#include <algorithm>

namespace quillmot {

WideText widen_bytes(std::string_view bytes) {
  WideText text(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), text.begin(),
                 [](char b) { return static_cast<char16_t>(static_cast<unsigned char>(b)); });
  return text;
}

bool narrow_bytes(std::u16string_view text, std::string* bytes) {
  bytes->clear();
  for (char16_t c : text) {
    if (c == 0 || c > 255) return false;
    bytes->push_back(static_cast<char>(c));
  }
  return true;
}

}  // namespace quillmot
