// The option scanner that wraps the C library's own getopt, which on glibc has the GNU behaviour
// this program relies on. Windows builds use the portable scanner instead.
#include <unistd.h>

#include "platform/option_scanner.h"

namespace quillmot {

OptionScanner::OptionScanner(int argc, char** argv, const char* letters)
    : argc_(argc), argv_(argv), letters_(letters) {
  opterr = 0;
  // 0 rather than 1 makes glibc start afresh, reading POSIXLY_CORRECT again.
  optind = 0;
}

int OptionScanner::next() {
  int result = getopt(argc_, argv_, letters_);
  value_ = optarg;
  letter_ = optopt;
  index_ = optind;
  return result;
}

}  // namespace quillmot
