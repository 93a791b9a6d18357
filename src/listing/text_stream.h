// One of the program's output streams, buffered. Every text written goes out as 8-bit bytes by the
// output rule (output_rule.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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
  // Every byte goes out as it is, line feeds too (see raw_output.h).
  void write_line_feeds_as_they_are();
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

}  // namespace quillmot
