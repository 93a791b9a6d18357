// The program's own option scanner, portable C++ that scans short options exactly as GNU getopt
// does, for C libraries whose getopt lacks that behaviour (mingw-w64's stops at the first word
// that is not an option). The other scanner, getopt_option_scanner.cpp, wraps the C library's.
// Words that are not options are moved behind the options unless POSIXLY_CORRECT is set; "--" ends
// the options; letters group; a value follows its letter or is the next word. Errors are returned,
// never printed.
#pragma once

namespace quillmot {

class PortableOptionScanner {
 public:
  // `letters` in getopt's notation; a leading ':' makes a missing value come back as ':'.
  PortableOptionScanner(int argc, char** argv, const char* letters, bool posixly_correct);

  int next();
  const char* value() const { return value_; }
  int letter() const { return letter_; }
  int index() const { return index_; }

 private:
  void move_skipped_words_behind();

  int argc_;
  char** argv_;
  const char* letters_;
  bool in_order_;
  const char* value_ = nullptr;
  int letter_ = 0;
  int index_ = 1;
  // The words skipped so far, [first_skipped_, last_skipped_), wait to be moved behind the options.
  int first_skipped_ = 1;
  int last_skipped_ = 1;
  const char* rest_of_group_ = nullptr;
};

}  // namespace quillmot
