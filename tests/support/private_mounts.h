// Tests that mount files of their own over the machine's (a database over /etc/group, a small
// tmpfs) in a private mount namespace, which needs root: nobody else ever sees those mounts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run_program.h"

namespace quillmot::testing {

// `script` run by sh in a private mount namespace (unshare -m), with `args` as its $1, $2, ...
inline ProgramRun shell_in_private_mount_namespace(const std::string& script,
                                                   const std::vector<std::string>& args) {
  ProgramRun run;
  run.file = "/usr/bin/unshare";
  run.argv = {"unshare", "-m", "sh", "-c", script, "sh"};
  run.argv.insert(run.argv.end(), args.begin(), args.end());
  return run;
}

// True when running as root. Otherwise false, and in CI (CI=true), where every test must run, a
// failure too.
inline bool running_as_root(const char* what) {
  if (geteuid() == 0) return true;
  const char* ci = std::getenv("CI");
  if (ci != nullptr && std::string(ci) == "true") ADD_FAILURE() << what << " needs root in CI";
  return false;
}

}  // namespace quillmot::testing
