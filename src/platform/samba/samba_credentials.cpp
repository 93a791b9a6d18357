#include "platform/samba/samba_credentials.h"

#include <pwd.h>
#include <unistd.h>

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
  if (sources.password_file != nullptr) {
    if (!read_first_line(sources.password_file, &credentials.password)) {
      wipe(credentials.password);
      credentials.kind = SambaCredentials::kUnreadable;
      return credentials;
    }
    password_given = true;
  }
  const bool anonymous_user =
      sources.user != nullptr && (std::strcmp(sources.user, "%") == 0 || sources.user[0] == '\0');
  if (anonymous_user && sources.password == nullptr && sources.password_file == nullptr) {
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
