#include "platform/portable_option_scanner.h"

#include <algorithm>
#include <cstring>

namespace quillmot {

namespace {

bool is_option_word(const char* word) {
  return word[0] == '-' && word[1] != '\0';
}

}  // namespace

PortableOptionScanner::PortableOptionScanner(int argc, char** argv, const char* letters,
                                             bool posixly_correct)
    : argc_(argc), argv_(argv), letters_(letters), in_order_(posixly_correct) {}

void PortableOptionScanner::move_skipped_words_behind() {
  std::rotate(argv_ + first_skipped_, argv_ + last_skipped_, argv_ + index_);
  first_skipped_ += index_ - last_skipped_;
  last_skipped_ = index_;
}

int PortableOptionScanner::next() {
  value_ = nullptr;
  // No words at all, not even the program's name: there is nothing to scan.
  if (argc_ < 1) return -1;
  if (rest_of_group_ == nullptr || *rest_of_group_ == '\0') {
    last_skipped_ = std::min(last_skipped_, index_);
    first_skipped_ = std::min(first_skipped_, index_);
    if (!in_order_) {
      if (first_skipped_ != last_skipped_ && last_skipped_ != index_)
        move_skipped_words_behind();
      else if (last_skipped_ != index_)
        first_skipped_ = index_;
      while (index_ < argc_ && !is_option_word(argv_[index_])) ++index_;
      last_skipped_ = index_;
    }
    if (index_ != argc_ && std::strcmp(argv_[index_], "--") == 0) {
      ++index_;
      if (first_skipped_ != last_skipped_ && last_skipped_ != index_)
        move_skipped_words_behind();
      else if (first_skipped_ == last_skipped_)
        first_skipped_ = index_;
      last_skipped_ = argc_;
      index_ = argc_;
    }
    if (index_ >= argc_) {
      if (first_skipped_ != last_skipped_) index_ = first_skipped_;
      return -1;
    }
    if (!is_option_word(argv_[index_])) return -1;
    rest_of_group_ = argv_[index_] + 1;
  }

  const char c = *rest_of_group_++;
  const char* listed = std::strchr(letters_, c);
  if (*rest_of_group_ == '\0') ++index_;
  if (listed == nullptr || c == ':' || c == ';') {
    letter_ = c;
    return '?';
  }
  if (listed[1] == ':') {
    if (*rest_of_group_ != '\0') {
      value_ = rest_of_group_;
      ++index_;
    } else if (index_ == argc_) {
      letter_ = c;
      rest_of_group_ = nullptr;
      return letters_[0] == ':' ? ':' : '?';
    } else {
      value_ = argv_[index_++];
    }
    rest_of_group_ = nullptr;
  }
  return c;
}

}  // namespace quillmot
