// A private group database for the program to read through nss_wrapper, so that tests never see
// the machine's own.
#pragma once

#include <string>
#include <vector>

namespace quillmot::testing {

class NssDatabase {
 public:
  // `group_lines` is the text of the group file, in /etc/group's format.
  explicit NssDatabase(const std::string& group_lines);
  ~NssDatabase();
  NssDatabase(const NssDatabase&) = delete;
  NssDatabase& operator=(const NssDatabase&) = delete;

  // The environment that points the program at this database.
  std::vector<std::string> environment() const;
  const std::string& group_file() const { return group_file_; }

 private:
  std::string directory_;
  std::string group_file_;
  std::string passwd_file_;
};

// Writes a file whole; aborts the test program when it cannot.
void write_file(const std::string& path, const std::string& bytes);

}  // namespace quillmot::testing
