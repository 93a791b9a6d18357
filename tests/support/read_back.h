// Python's csv and json modules, readers nobody here wrote, reading quillmot's -F csv and -F json
// output back (read_back.py): what they find different from the records it was made from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmot::testing {

struct MadeRecord {
  std::string name;
  uint32_t id = 0;
  std::string comment;
};

// Empty when every record reads back as it was made.
std::string read_back(const std::string& format, int level, const std::string& delimiter,
                      const std::string& record_end, const std::string& output,
                      const std::vector<MadeRecord>& records);

// Texts that break naive writers and readers: quotes (at the start and the end too), both
// delimiters, CR, LF, CRLF, tab, backslash, empty, UTF-8 of 2, 3 and 4 bytes, invalid UTF-8 (a
// byte no sequence starts with, a sequence cut short), 0x7F, the largest identifier. With
// `name_safe`, only what a group database's name may hold (no colon, no line end, not empty).
std::vector<MadeRecord> hard_texts(bool name_safe);

// The records as one scripted listing of the scripted libraries (netapi_script.h).
std::string listing_script(const std::vector<MadeRecord>& records);

// Bytes as hexadecimal, two digits a byte.
std::string hex(const std::string& bytes);

}  // namespace quillmot::testing
