#include "platform/samba/samba_credentials.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quillmot {

namespace {

// Samba takes the file's first line, without its line feed.
bool read_first_line(const char* path, std::string* line) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  line->clear();
  int c;
  while ((c = std::fgetc(file)) != EOF && c != '\n') line->push_back(static_cast<char>(c));
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// A line from a descriptor, read a byte at a time so that nothing after its line feed is taken
// from whoever shares the descriptor. A descriptor at its end before anything is read gives no
// password at all, which Samba's tools take as a failure too.
bool read_line_from(int fd, std::string* line, std::string* problem) {
  line->clear();
  for (;;) {
    char c;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *problem = std::strerror(errno);
      return false;
    }
    if (n == 0 && line->empty()) {
      *problem = "nothing to read";
      return false;
    }
    if (n == 0 || c == '\n') return true;
    line->push_back(c);
  }
}

// A descriptor's number as the variable gives it: digits alone.
bool descriptor_number(const char* text, int* fd) {
  const char* end = text + std::strlen(text);
  const auto [at, error] = std::from_chars(text, end, *fd);
  return error == std::errc() && at == end && *fd >= 0;
}

SambaCredentials unreadable(SambaCredentials& credentials, const std::string& problem) {
  wipe(credentials.password);
  credentials.kind = SambaCredentials::kUnreadable;
  credentials.problem = problem;
  return credentials;
}

}  // namespace

SambaCredentials read_samba_credentials(const CredentialSources& sources) {
  SambaCredentials credentials;
  bool password_given = false;
  if (sources.user != nullptr) {
    std::string user = sources.user;
    if (size_t percent = user.find('%'); percent != std::string::npos) {
      credentials.password = user.substr(percent + 1);
      user.resize(percent);
      password_given = true;
    }
    credentials.user = user;
  }
  if (sources.password != nullptr) {
    credentials.password = sources.password;
    password_given = true;
  }
  // As Samba's tools read them: an empty PASSWD_FD is no descriptor, and one that is read leaves
  // PASSWD_FILE unread.
  const bool from_fd = sources.password_fd != nullptr && *sources.password_fd != '\0';
  if (from_fd) {
    int fd = -1;
    std::string problem = "not a descriptor's number";
    if (!descriptor_number(sources.password_fd, &fd) ||
        !read_line_from(fd, &credentials.password, &problem))
      return unreadable(credentials, std::string("cannot read PASSWD_FD ") + sources.password_fd +
                                         ": " + problem);
    password_given = true;
  } else if (sources.password_file != nullptr) {
    if (!read_first_line(sources.password_file, &credentials.password))
      return unreadable(credentials, std::string("cannot read PASSWD_FILE ") +
                                         sources.password_file + ": " + std::strerror(errno));
    password_given = true;
  }
  const bool anonymous_user =
      sources.user != nullptr && (std::strcmp(sources.user, "%") == 0 || sources.user[0] == '\0');
  if (anonymous_user && sources.password == nullptr && !from_fd &&
      sources.password_file == nullptr) {
    credentials.kind = SambaCredentials::kAnonymous;
    credentials.user.clear();
    credentials.password.clear();
  } else if (password_given) {
    credentials.kind = SambaCredentials::kGiven;
    // A password is for somebody: an empty name would make it an anonymous session after all.
    if (credentials.user.empty()) credentials.user = sources.login_name;
  }
  return credentials;
}

CredentialSources credential_sources_of_process() {
  CredentialSources sources;
  sources.user = std::getenv("USER");
  sources.password = std::getenv("PASSWD");
  sources.password_fd = std::getenv("PASSWD_FD");
  sources.password_file = std::getenv("PASSWD_FILE");
  if (const char* logname = std::getenv("LOGNAME"); logname != nullptr && *logname != '\0') {
    sources.login_name = logname;
  } else if (const passwd* account = getpwuid(getuid()); account != nullptr) {
    sources.login_name = account->pw_name;
  }
  return sources;
}

void wipe(std::string& secret) {
  volatile char* bytes = secret.data();
  for (size_t i = 0; i < secret.size(); ++i) bytes[i] = '\0';
  secret.clear();
}

}  // namespace quillmot
