// The program's text type, and the byte conversions the layers above share.
#pragma once

#include <string>
#include <string_view>

namespace quillmot {

// Texts are 16-bit characters. Argument words are widened byte by byte, so only the group
// directory can hand us characters of 256 and above.
using WideText = std::u16string;

// Argument words and NSS names are 8-bit texts: each byte becomes the character of the same value.
WideText widen_bytes(std::string_view bytes);

// The way back, for names handed to 8-bit interfaces: false when a character has no byte of its
// own (256 and above) or would end the text early (0).
bool narrow_bytes(std::u16string_view text, std::string* bytes);

}  // namespace quillmot
