#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace quillmot::testing {

namespace {

std::vector<char*> pointers(const std::vector<std::string>& words) {
  std::vector<char*> result;
  for (const std::string& word : words) result.push_back(const_cast<char*>(word.c_str()));
  result.push_back(nullptr);
  return result;
}

}  // namespace

ProgramResult run_program(const ProgramRun& run) {
  ProgramResult result;
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  std::vector<char*> argv = pointers(run.argv);
  std::vector<char*> env = pointers(run.env);
  const char* file = run.file.empty() ? run.argv.at(0).c_str() : run.file.c_str();

  int terminal = -1;
  std::string terminal_name;
  if (run.terminal_stdin) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return result;
    terminal_name = ptsname(terminal);
  }

  pid_t pid = fork();
  if (pid == 0) {
    if (run.terminal_stdin) {
      setsid();
      int typed_on = open(terminal_name.c_str(), O_RDWR);  // becomes the controlling terminal
      dup2(typed_on, 0);
    } else {
      int null_in = open("/dev/null", O_RDONLY);
      dup2(null_in, 0);
    }
    if (!run.stdout_path.empty()) {
      int file_out = open(run.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (file_out < 0) _exit(126);
      dup2(file_out, 1);
    } else {
      dup2(out_pipe[1], 1);
      if (run.nonblocking_stdout) fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK);
    }
    dup2(err_pipe[1], 2);
    // Nothing else of the test process reaches the program.
    close_range(3, ~0u, 0);
    for (int fd : run.closed_descriptors) close(fd);
    // Descriptor 3 holds this text, to be read (as PASSWD_FD=3 reads it).
    if (run.descriptor_3) {
      int text[2];
      if (pipe(text) != 0 || write(text[1], run.descriptor_3->data(), run.descriptor_3->size()) < 0)
        _exit(126);
      close(text[1]);
      if (text[0] != 3) dup2(text[0], 3);
    }
    if (run.address_space_limit > 0) {
      rlimit limit{run.address_space_limit, run.address_space_limit};
      setrlimit(RLIMIT_AS, &limit);
    }
    signal(SIGPIPE, SIG_DFL);
    execve(file, argv.data(), env.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (terminal >= 0 && !run.terminal_input.empty() &&
      write(terminal, run.terminal_input.data(), run.terminal_input.size()) < 0)
    kill(pid, SIGKILL);
  if (run.read_delay_seconds > 0) usleep(static_cast<useconds_t>(run.read_delay_seconds * 1e6));

  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(static_cast<long>(run.timeout_seconds * 1000));
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_streams = 2;
  char chunk[65536];
  while (open_streams > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) sinks[i]->append(chunk, static_cast<size_t>(n));
      bool enough =
          i == 0 && run.close_stdout_after > 0 && result.out.size() >= run.close_stdout_after;
      if (n <= 0 || enough) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_streams;
      }
    }
  }
  for (pollfd& fd : fds)
    if (fd.fd >= 0) close(fd.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (terminal >= 0) close(terminal);
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::vector<std::string> inherited(const std::vector<std::string>& names) {
  std::vector<std::string> env;
  for (const std::string& name : names)
    if (const char* value = std::getenv(name.c_str())) env.push_back(name + "=" + value);
  return env;
}

}  // namespace quillmot::testing
