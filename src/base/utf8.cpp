#include "base/utf8.h"

namespace quillmot {

size_t utf8_sequence(std::string_view bytes, size_t at, size_t* invalid) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(at);
  *invalid = 1;
  if (lead < 0x80) return 1;
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
  if (length == 0) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= bytes.size()) return 0;
    const unsigned char c = byte(at + i);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
    *invalid = i + 1;
  }
  return length;
}

bool valid_utf8(std::string_view bytes) {
  size_t invalid = 0;
  for (size_t at = 0; at < bytes.size();) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      ++at;
    } else if (size_t length = utf8_sequence(bytes, at, &invalid)) {
      at += length;
    } else {
      return false;
    }
  }
  return true;
}

bool append_valid_utf8(std::string& out, std::string_view bytes) {
  bool whole = true;
  size_t clean = 0;  // where the run not yet appended begins
  for (size_t at = 0; at < bytes.size();) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      ++at;
      continue;
    }
    size_t invalid = 0;
    if (size_t length = utf8_sequence(bytes, at, &invalid)) {
      at += length;
      continue;
    }
    out.append(bytes.substr(clean, at - clean));
    out += "\xEF\xBF\xBD";
    whole = false;
    at += invalid;
    clean = at;
  }
  out.append(bytes.substr(clean));
  return whole;
}

}  // namespace quillmot
