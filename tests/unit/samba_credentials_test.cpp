#include "platform/samba/samba_credentials.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace quillmot {
namespace {

TEST(SambaCredentials, TheEnvironmentAsSambasToolsReadIt) {
  const std::string file = (std::filesystem::temp_directory_path() / "quillmot-pw-unit").string();
  std::ofstream(file) << "line one\nline two\n";
  const std::string empty_file = file + "-empty";
  std::ofstream(empty_file).flush();
  using K = SambaCredentials;
  struct Case {
    const char *user, *password, *password_file;
    K::Kind kind;
    std::string expected_user, expected_password;
  } cases[] = {
      {nullptr, nullptr, nullptr, K::kGuessed, "", ""},
      {"alice", nullptr, nullptr, K::kGuessed, "alice", ""},
      {"alice%pw", nullptr, nullptr, K::kGiven, "alice", "pw"},
      {"alice%", nullptr, nullptr, K::kGiven, "alice", ""},
      {"alice%p%w", nullptr, nullptr, K::kGiven, "alice", "p%w"},
      {"QUILL\\alice%pw", nullptr, nullptr, K::kGiven, "QUILL\\alice", "pw"},
      {"alice@QUILL.TEST", "pw", nullptr, K::kGiven, "alice@QUILL.TEST", "pw"},
      {"alice%one", "two", nullptr, K::kGiven, "alice", "two"},
      {"alice", nullptr, file.c_str(), K::kGiven, "alice", "line one"},
      {"alice", "pw", file.c_str(), K::kGiven, "alice", "line one"},
      {"alice", nullptr, empty_file.c_str(), K::kGiven, "alice", ""},
      {nullptr, "pw", nullptr, K::kGiven, "login", "pw"},
      {"%pw", nullptr, nullptr, K::kGiven, "login", "pw"},
      {"%", nullptr, nullptr, K::kAnonymous, "", ""},
      {"", nullptr, nullptr, K::kAnonymous, "", ""},
      {"%", "pw", nullptr, K::kGiven, "login", "pw"},
      {"alice", nullptr, "/nonexistent/pw", K::kUnreadable, "", ""},
      {"alice", nullptr, "/", K::kUnreadable, "", ""},
  };
  for (const Case& c : cases) {
    CredentialSources sources;
    sources.user = c.user;
    sources.password = c.password;
    sources.password_file = c.password_file;
    sources.login_name = "login";
    SambaCredentials got = read_samba_credentials(sources);
    const std::string shown = std::string(c.user ? c.user : "(unset)") + " / " +
                              (c.password ? c.password : "(unset)") + " / " +
                              (c.password_file ? c.password_file : "(unset)");
    EXPECT_EQ(got.kind, c.kind) << shown;
    if (got.kind == K::kUnreadable) continue;
    EXPECT_EQ(got.user, c.expected_user) << shown;
    EXPECT_EQ(got.password, c.expected_password) << shown;
  }
  std::filesystem::remove(file);
  std::filesystem::remove(empty_file);
}

}  // namespace
}  // namespace quillmot
