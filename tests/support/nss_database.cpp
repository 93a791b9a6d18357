#include "nss_database.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifndef QUILLMOT_NSS_WRAPPER
#error "QUILLMOT_NSS_WRAPPER names the nss_wrapper library"
#endif

namespace quillmot::testing {

void write_file(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::perror(path.c_str());
    std::abort();
  }
  std::fclose(file);
}

NssDatabase::NssDatabase(const std::string& group_lines) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmot-nss-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  directory_ = pattern;
  group_file_ = directory_ + "/group";
  passwd_file_ = directory_ + "/passwd";
  write_file(group_file_, group_lines);
  write_file(passwd_file_, "root:x:0:0:root:/root:/bin/sh\n");
}

NssDatabase::~NssDatabase() {
  std::filesystem::remove_all(directory_);
}

std::vector<std::string> NssDatabase::environment() const {
  return {"LD_PRELOAD=" QUILLMOT_NSS_WRAPPER, "NSS_WRAPPER_GROUP=" + group_file_,
          "NSS_WRAPPER_PASSWD=" + passwd_file_,
          // The sanitizer runtime must let nss_wrapper be preloaded ahead of it.
          "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1"};
}

}  // namespace quillmot::testing
