#include <csignal>

#include "listing/run_driver.h"
#include "listing/text_stream.h"
#include "platform/group_directory.h"

int main(int argc, char** argv) {
  // A reader that goes away (head, a closed pipe) must not kill the run or change its status;
  // failed writes are ignored by the streams instead.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  quillmot::TextStream out(1);
  quillmot::TextStream err(2);
  int status = quillmot::run_quillmot(argc, argv, quillmot::open_group_directory, out, err);
  out.flush();
  err.flush();
  return status;
}
