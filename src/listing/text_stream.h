// One of the program's output streams. Every text written goes out as 8-bit bytes by one rule: a
// character below 256 becomes the byte of that value; any other character becomes '?', so a name
// the output cannot carry never turns into a shorter name that may belong to another group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmot {

class TextStream {
 public:
  // Buffers and writes to the file descriptor. After the first write that fails the bytes are
  // dropped; failure() tells the caller what went wrong, except for a closed pipe, which is the
  // reader's way of saying it has read enough and never counts as a failure.
  explicit TextStream(int fd) : fd_(fd) {}
  // Keeps every byte in memory, for tests.
  TextStream() : fd_(-1) {}
  ~TextStream() { flush(); }
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  void write(std::u16string_view text);
  void write_bytes(std::string_view bytes);
  void write_number(uint32_t value);
  void flush();

  // The error number of the first write that failed, a closed pipe aside; 0 while none has.
  int failure() const { return failure_; }
  // The descriptor was closed when the program started (and has been opened on /dev/null since):
  // the first byte written to it fails with EBADF, as it would have.
  void treat_as_closed() { closed_ = true; }
  // Makes the next flush fail with `error`, for tests of what callers do about it.
  void fail_next_flush(int error) { injected_failure_ = error; }

  // Room for `size` bytes in one piece at the end of the buffer, to be filled directly and then
  // handed back with commit(); null when the buffer cannot hold that much at all.
  char* claim(size_t size) {
    if (size > kCapacity - used_) {
      flush();
      if (size > kCapacity) return nullptr;
    }
    return buffer_ + used_;
  }
  void commit(const char* end) {
    used_ = static_cast<size_t>(end - buffer_);
    if (closed_) flush();
  }

  // Writes a text at `at` under the output rule and returns the end.
  static char* put(char* at, std::u16string_view text);
  // Writes a number in decimal at `at` (at most kMaxDigits bytes) and returns the end.
  static char* put_number(char* at, uint32_t value);
  static constexpr size_t kMaxDigits = 10;

  // What a memory stream has received so far.
  const std::string& captured() {
    flush();
    return captured_;
  }

 private:
  static constexpr size_t kCapacity = 64 * 1024;
  char* reserve(size_t wanted, size_t* granted);

  int fd_;
  bool broken_ = false;
  bool closed_ = false;
  int failure_ = 0;
  int injected_failure_ = 0;
  size_t used_ = 0;
  std::string captured_;
  char buffer_[kCapacity];
};

inline char* TextStream::put(char* at, std::u16string_view text) {
  const char16_t* from = text.data();
  const char16_t* end = from + text.size();
#if defined(__SSE2__)
  // Eight characters at a time while all of them are below 256, which is nearly always.
  const __m128i high_bytes = _mm_set1_epi16(static_cast<short>(0xFF00));
  const __m128i zero = _mm_setzero_si128();
  while (end - from >= 8) {
    __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    __m128i high = _mm_and_si128(chars, high_bytes);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packus_epi16(chars, chars));
    from += 8;
    at += 8;
  }
#endif
  for (; from != end; ++from) *at++ = *from < 256 ? static_cast<char>(*from) : '?';
  return at;
}

// The byte form of a text under the output rule.
std::string narrow_for_output(std::u16string_view text);

// Argument words and NSS names are 8-bit texts: each byte becomes the character of the same value.
std::u16string widen_bytes(std::string_view bytes);

// The way back, for names handed to 8-bit interfaces: false when a character has no byte of its
// own (256 and above) or would end the text early (0).
bool narrow_bytes(std::u16string_view text, std::string* bytes);

}  // namespace quillmot
