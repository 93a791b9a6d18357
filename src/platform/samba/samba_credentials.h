// Who the remote directory logs on as, read from the environment the way Samba's own tools read
// it: USER (user, DOMAIN\user or user@REALM, optionally followed by %password), PASSWD, PASSWD_FD
// (a descriptor to read a line from) and PASSWD_FILE (the first line of a file), each later one
// standing over those before, and PASSWD_FD over PASSWD_FILE, which is then not read.
#pragma once

#include <string>

namespace quillmot {

struct SambaCredentials {
  enum Kind {
    // No password given: the remote directory decides before logging on (a usable Kerberos
    // ticket, a password typed at the terminal, else an anonymous session).
    kGuessed,
    // A password was given: the user is set explicitly, so that a refused password fails the
    // call instead of falling back to an anonymous session.
    kGiven,
    // USER='%' or USER='': Samba's way to ask for an anonymous session.
    kAnonymous,
    // No password given, and a usable Kerberos ticket to log on with.
    kTicket,
    // PASSWD_FD or PASSWD_FILE names what cannot be read: `problem` says why.
    kUnreadable,
  };
  Kind kind = kGuessed;
  std::string user;
  std::string password;
  std::string problem;
};

struct CredentialSources {
  const char* user = nullptr;           // USER
  const char* password = nullptr;       // PASSWD
  const char* password_fd = nullptr;    // PASSWD_FD
  const char* password_file = nullptr;  // PASSWD_FILE
  // Whom a password is for when USER names nobody: LOGNAME, else the account running us.
  std::string login_name;
};

// Reads the password's descriptor or file, if one is named.
SambaCredentials read_samba_credentials(const CredentialSources& sources);

// The sources of this process: its environment and its account.
CredentialSources credential_sources_of_process();

// Overwrites a password kept in a text, so that it does not linger in memory.
void wipe(std::string& secret);

}  // namespace quillmot
