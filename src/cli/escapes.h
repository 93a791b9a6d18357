// Backslash escapes in option values, and the form server names are kept in.
#pragma once

#include <string>
#include <string_view>

namespace quillmot {

// \" \\ \n \r \t \0 become the character they name (\0 a NUL, so that records can end as xargs -0
// reads them), and a backslash at the very end stays one backslash. Any other backslash pair is
// kept as it stands, so a value never grows and only ever looks one character ahead.
std::u16string decode_escapes(std::u16string_view source);

// Puts two backslashes in front of a server name unless it already begins with them: srv, \srv
// and \\srv all become \\srv, and an empty name becomes two backslashes alone.
void normalize_server_name(std::u16string& server_name);

}  // namespace quillmot
