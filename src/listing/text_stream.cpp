#include "listing/text_stream.h"

#include <algorithm>
#include <cerrno>

#include "listing/output_rule.h"
#include "platform/raw_output.h"

namespace quillmot {

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
    put_text(out, text.substr(0, n));
    text.remove_prefix(n);
  }
  if (closed_) flush();
}

void TextStream::write_bytes(std::string_view bytes) {
  while (!bytes.empty()) {
    size_t n;
    char* out = reserve(bytes.size(), &n);
    std::copy_n(bytes.data(), n, out);
    bytes.remove_prefix(n);
  }
  if (closed_) flush();
}

void TextStream::write_number(uint32_t value) {
  char digits[kMaxDigits];
  char* end = put_number(digits, value);
  write_bytes(std::string_view(digits, static_cast<size_t>(end - digits)));
}

char* put_number(char* at, uint32_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  int digits = 1;
  for (uint32_t rest = value; rest >= 10; rest /= 10) ++digits;
  char* end = at + digits;
  char* p = end;
  // Two digits at a time from the right.
  while (value >= 100) {
    const uint32_t pair = (value % 100) * 2;
    value /= 100;
    *--p = kPairs[pair + 1];
    *--p = kPairs[pair];
  }
  if (value >= 10) {
    *--p = kPairs[value * 2 + 1];
    *--p = kPairs[value * 2];
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return end;
}

void TextStream::flush() {
  if (used_ == 0) return;
  if (!broken_) {
    int error = injected_failure_;
    if (error == 0 && closed_) error = EBADF;
    if (error == 0 && fd_ < 0) captured_.append(buffer_, used_);
    if (error == 0 && fd_ >= 0) error = write_all(fd_, buffer_, used_);
    if (error != 0) {
      broken_ = true;
      if (error != EPIPE) failure_ = error;
    }
  }
  used_ = 0;
}

std::string narrow_for_output(std::u16string_view text) {
  std::string bytes(text.size(), '\0');
  put_text(bytes.data(), text);
  return bytes;
}

void TextStream::write_line_feeds_as_they_are() {
  flush();
  if (fd_ >= 0) quillmot::write_line_feeds_as_they_are(fd_);
}

}  // namespace quillmot
