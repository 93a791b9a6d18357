// UTF-8 as the program checks it: the one rule by which the formats (which promise UTF-8) and the
// program's own lines tell valid text from bytes in another encoding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmot {

// How many bytes of a valid UTF-8 sequence start at `at`; 0 when none does, with `invalid` set to
// the length of the maximal part that could have begun one (at least 1), which Unicode recommends
// replacing as one.
size_t utf8_sequence(std::string_view bytes, size_t at, size_t* invalid);

// Whether `bytes` is UTF-8 throughout.
bool valid_utf8(std::string_view bytes);

// Appends `bytes` with each maximal invalid part replaced by U+FFFD; false when something was.
bool append_valid_utf8(std::string& out, std::string_view bytes);

}  // namespace quillmot
