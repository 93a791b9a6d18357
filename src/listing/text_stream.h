// One of the program's output streams. Every text written goes out as 8-bit bytes by one rule: a
// character below 256 becomes the byte of that value; any other character becomes '?', so a name
// the output cannot carry never turns into a shorter name that may belong to another group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmot {

class TextStream {
 public:
  // Buffers and writes to the file descriptor. Write errors are ignored: the run goes on and its
  // exit status does not change; after the first failure the bytes are dropped.
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
  size_t used_ = 0;
  std::string captured_;
  char buffer_[kCapacity];
};

// The byte form of a text under the output rule.
std::string narrow_for_output(std::u16string_view text);

// Argument words and NSS names are 8-bit texts: each byte becomes the character of the same value.
std::u16string widen_bytes(std::string_view bytes);

}  // namespace quillmot
