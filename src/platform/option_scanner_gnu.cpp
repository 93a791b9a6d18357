// Where the C library's getopt does not scan the GNU way, the program's own scanner does.
#include <cstdlib>
#include <memory>

#include "platform/gnu_option_scanner.h"
#include "platform/option_scanner.h"

namespace quillmot {

namespace {

// One scan per process; the scanner keeps its place between calls.
std::unique_ptr<GnuOptionScanner> current;

}  // namespace

OptionScanner::OptionScanner(int argc, char** argv, const char* letters)
    : argc_(argc), argv_(argv), letters_(letters) {
  // The environment's names are matched without regard to case here, as everywhere on Windows.
  current = std::make_unique<GnuOptionScanner>(argc, argv, letters,
                                               std::getenv("POSIXLY_CORRECT") != nullptr);
}

int OptionScanner::next() {
  int result = current->next();
  value_ = current->value();
  letter_ = current->letter();
  index_ = current->index();
  return result;
}

}  // namespace quillmot
