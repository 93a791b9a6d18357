// Arbitrary argument vectors through the command-line reader, with and without POSIXLY_CORRECT.
// The first byte chooses the environment; the rest is split into words at NUL bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/wide_text.h"
#include "cli/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1)
    setenv("POSIXLY_CORRECT", "", 1);
  else
    unsetenv("POSIXLY_CORRECT");
  std::vector<std::string> words = {"quillmot"};
  std::string word;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word.push_back(static_cast<char>(data[i]));
    }
  }
  words.push_back(word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  quillmot::RunSettings settings;
  quillmot::WideText group_name;
  quillmot::TextStream out, err;
  auto status = quillmot::read_command_line(static_cast<int>(words.size()), argv.data(), settings,
                                            group_name, out, err);
  if (status) {
    if (*status != 0 && *status != 1) std::abort();
    return 0;
  }
  // A run that goes on has said nothing, and a named server always has its two backslashes.
  if (!out.captured().empty() || !err.captured().empty()) std::abort();
  const auto& server = settings.server_name;
  if (!server.empty() && (server.size() < 2 || server[0] != u'\\' || server[1] != u'\\'))
    std::abort();
  // Settings come only from the words: without a Q among them the level stays at names, decoding
  // never makes a value longer than the longest word, and a group name is one of the words.
  bool any_q = false;
  size_t longest = 0;
  for (const std::string& w : words) {
    any_q = any_q || w.find('Q') != std::string::npos;
    longest = std::max(longest, w.size());
  }
  if (!any_q && settings.query_level != quillmot::kLevelName) std::abort();
  for (const auto* text : {&settings.string_quote, &settings.integer_quote,
                           &settings.field_delimiter, &settings.record_delimiter})
    if (text->size() > std::max<size_t>(longest, 1)) std::abort();
  if (!group_name.empty()) {
    bool is_a_word = false;
    for (const std::string& w : words)
      is_a_word = is_a_word || quillmot::widen_bytes(w) == group_name;
    if (!is_a_word) std::abort();
  }
  return 0;
}
