// The program's own lines on standard error ("quillmot: " and what it has to say), made in this
// one place. What they quote (a group name, a server name, a path, a directory's text) may hold
// any byte; shown here, it stays on its one line and sends nothing to a terminal but text.
#pragma once

#include <string>
#include <string_view>

namespace quillmot {

// "quillmot: " + shown(text) + a line feed.
std::string program_line(std::string_view text);

// The bytes as they can be shown on a line: valid UTF-8 as it is; tab, line feed and carriage
// return as \t, \n and \r; every other control character (C0 and DEL) and each byte that is not
// part of valid UTF-8 as \xHH.
std::string shown(std::string_view bytes);

// A reason with the status it came from: "why (N)", or "status N" when nothing says why.
std::string with_status(const std::string& why, unsigned long status);

}  // namespace quillmot
