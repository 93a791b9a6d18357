// A temporary directory holding a scripted library's script and the log it writes.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "nss_database.h"

namespace quillmot::testing {

class ScriptDirectory {
 public:
  explicit ScriptDirectory(const std::string& script) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillmot-script-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    directory_ = pattern;
    write_file(script_path(), script);
  }
  ~ScriptDirectory() { std::filesystem::remove_all(directory_); }
  ScriptDirectory(const ScriptDirectory&) = delete;
  ScriptDirectory& operator=(const ScriptDirectory&) = delete;

  std::string script_path() const { return directory_ + "/script"; }
  std::string log_path() const { return directory_ + "/log"; }

  std::vector<std::string> log() const {
    std::ifstream in(log_path());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string directory_;
};

}  // namespace quillmot::testing
