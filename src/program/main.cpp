#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <string>

#include "listing/text_stream.h"
#include "platform/group_directory.h"
#include "platform/raw_output.h"
#include "program/open_group_directory.h"
#include "program/run_driver.h"

int main(int argc, char** argv) {
  // Before any library opens a descriptor: a closed standard descriptor would otherwise be handed
  // to the next file or socket, and records written there.
  const unsigned reopened = quillmot::open_closed_standard_descriptors();
  // A reader that goes away (head, a closed pipe) must not kill the run or change its status.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  quillmot::TextStream out(1);
  quillmot::TextStream err(2);
  if (reopened & (1u << 1)) out.treat_as_closed();
  int status;
  try {
    status = quillmot::run_quillmot(argc, argv, quillmot::open_group_directory, out, err);
  } catch (const std::bad_alloc&) {
    // The directory operations report their own; this is what is left: the command line.
    out.flush();
    err.write_bytes(std::string("ERROR in malloc(): ") + std::strerror(ENOMEM) + "\n");
    status = 1;
  }
  out.flush();
  err.flush();
  return status;
}
