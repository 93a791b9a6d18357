// Runs a program with exactly the given words and environment and collects both its streams.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillmot::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when it did not exit normally
  int signal = 0;
  std::string out;
  std::string err;
  bool timed_out = false;
};

struct ProgramRun {
  std::vector<std::string> argv;  // argv[0] included; the file run is argv[0] unless `file` is set
  std::vector<std::string> env;   // NAME=value entries, nothing inherited
  std::string file;
  double timeout_seconds = 60;
  // Standard output is closed from the reading side after this many bytes (0: read it all).
  size_t close_stdout_after = 0;
  // Descriptors among 0, 1 and 2 that the program starts with closed.
  std::vector<int> closed_descriptors;
  // Standard output goes to this file (opened for writing) instead of the pipe read here.
  std::string stdout_path;
  // Standard output is a non-blocking pipe, and reading it starts only after this long.
  bool nonblocking_stdout = false;
  double read_delay_seconds = 0;
  // Standard input is a terminal (a pseudo-terminal, the program's controlling one) on which
  // this has been typed.
  bool terminal_stdin = false;
  std::string terminal_input;
  // Descriptor 3 open for reading this text (else closed, as every descriptor above 2).
  std::optional<std::string> descriptor_3;
  // A limit on the program's address space, in bytes (0: none).
  size_t address_space_limit = 0;
};

ProgramResult run_program(const ProgramRun& run);

// The environment entry NAME=value for a variable of this process, or nothing.
std::vector<std::string> inherited(const std::vector<std::string>& names);

}  // namespace quillmot::testing
