#include "cli/escapes.h"

namespace quillmot {

std::u16string decode_escapes(std::u16string_view source) {
  std::u16string decoded;
  decoded.reserve(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    char16_t c = source[i];
    if (c != u'\\' || i + 1 == source.size()) {
      decoded.push_back(c);
      continue;
    }
    char16_t next = source[i + 1];
    switch (next) {
      case u'"':
        decoded.push_back(u'"');
        break;
      case u'\\':
        decoded.push_back(u'\\');
        break;
      case u'n':
        decoded.push_back(u'\n');
        break;
      case u'r':
        decoded.push_back(u'\r');
        break;
      case u't':
        decoded.push_back(u'\t');
        break;
      case u'0':
        decoded.push_back(u'\0');
        break;
      default:
        decoded.push_back(u'\\');
        decoded.push_back(next);
        break;
    }
    ++i;
  }
  return decoded;
}

void normalize_server_name(std::u16string& server_name) {
  if (server_name.empty() || server_name[0] != u'\\') server_name.insert(0, 1, u'\\');
  if (server_name.size() < 2 || server_name[1] != u'\\') server_name.insert(0, 1, u'\\');
}

}  // namespace quillmot
