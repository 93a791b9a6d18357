// Which group directory answers for a server name: the program's choice among the platform's
// backends, made here, above them, so that no backend has to know the others.
#pragma once

#include <memory>
#include <string>

#include "platform/group_directory.h"

namespace quillmot {

// The local group database when the name is empty, a remote server otherwise (on Windows, the
// Network Management API answers for both).
std::unique_ptr<GroupDirectory> open_group_directory(const std::u16string& server_name);

}  // namespace quillmot
