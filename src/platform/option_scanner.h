// Option scanning with GNU getopt behaviour: grouped letters, values attached or in the next
// word, words that are not options moved behind the options unless POSIXLY_CORRECT is set, "--"
// ending the options. The scanner writes no messages of its own.
#pragma once

#ifdef _WIN32
#include <cstdlib>

#include "platform/portable_option_scanner.h"
#endif

namespace quillmot {

#ifdef _WIN32
// mingw-w64's getopt does not permute, so Windows scans with the program's own scanner. The
// environment's names are matched without regard to case there, as everywhere on Windows.
class OptionScanner : public PortableOptionScanner {
 public:
  OptionScanner(int argc, char** argv, const char* letters)
      : PortableOptionScanner(argc, argv, letters, std::getenv("POSIXLY_CORRECT") != nullptr) {}
};
#else
// The C library's getopt, which on glibc scans the GNU way.
class OptionScanner {
 public:
  // The letters use getopt's notation, with a leading ':' so that a missing value is reported as
  // ':' and an unknown letter as '?'. The words may be reordered.
  OptionScanner(int argc, char** argv, const char* letters);

  // The next option letter, ':' or '?', or -1 when the options are over.
  int next();
  // The value of the option just returned, or null.
  const char* value() const { return value_; }
  // The letter behind a ':' or '?' (bytes of 128 and above as negative numbers).
  int letter() const { return letter_; }
  // Where the words that are not options begin, once next() has returned -1.
  int index() const { return index_; }

 private:
  int argc_;
  char** argv_;
  const char* letters_;
  const char* value_ = nullptr;
  int letter_ = 0;
  int index_ = 1;
};
#endif

}  // namespace quillmot
