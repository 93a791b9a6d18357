// Asking the person at the terminal for a password.
#pragma once

#include <string>

namespace quillmot {

// Writes `prompt` to standard error and reads one line from `terminal` with echo off (restored
// afterwards); the line without its line feed, empty when nothing was typed or nothing could be
// read.
std::string read_terminal_password(int terminal, const std::string& prompt);

}  // namespace quillmot
