// The directory's texts as UTF-8 bytes, for the output formats that promise UTF-8. On Windows a
// text is UTF-16 and is encoded (a lone surrogate, which no character stands for, as U+FFFD);
// elsewhere each character is one byte of the directory's own (the name service and Samba hand
// out bytes, which a UTF-8 system holds as UTF-8), given back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace quillmot {

// Appends the bytes of `text` to `bytes`; false when something had to be replaced.
bool append_directory_text(std::string& bytes, std::u16string_view text);

}  // namespace quillmot
