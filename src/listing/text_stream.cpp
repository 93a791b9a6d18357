#include "listing/text_stream.h"

#include <algorithm>
#include <charconv>

#include "platform/raw_output.h"

namespace quillmot {

namespace {

inline char output_byte(char16_t c) { return c < 256 ? static_cast<char>(c) : '?'; }

}  // namespace

char* TextStream::reserve(size_t wanted, size_t* granted) {
  if (used_ == kCapacity) flush();
  *granted = std::min(wanted, kCapacity - used_);
  char* at = buffer_ + used_;
  used_ += *granted;
  return at;
}

void TextStream::write(std::u16string_view text) {
  while (!text.empty()) {
    size_t n;
    char* out = reserve(text.size(), &n);
    for (size_t i = 0; i < n; ++i) out[i] = output_byte(text[i]);
    text.remove_prefix(n);
  }
}

void TextStream::write_bytes(std::string_view bytes) {
  while (!bytes.empty()) {
    size_t n;
    char* out = reserve(bytes.size(), &n);
    std::copy_n(bytes.data(), n, out);
    bytes.remove_prefix(n);
  }
}

void TextStream::write_number(uint32_t value) {
  char digits[10];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  write_bytes(std::string_view(digits, static_cast<size_t>(end - digits)));
}

void TextStream::flush() {
  if (used_ == 0) return;
  if (fd_ < 0) {
    captured_.append(buffer_, used_);
  } else if (!broken_) {
    broken_ = !write_all(fd_, buffer_, used_);
  }
  used_ = 0;
}

std::string narrow_for_output(std::u16string_view text) {
  std::string bytes(text.size(), '\0');
  std::transform(text.begin(), text.end(), bytes.begin(), output_byte);
  return bytes;
}

std::u16string widen_bytes(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), text.begin(),
                 [](char b) { return static_cast<char16_t>(static_cast<unsigned char>(b)); });
  return text;
}

}  // namespace quillmot
