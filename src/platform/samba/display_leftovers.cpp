#include "platform/samba/display_leftovers.h"

#include <algorithm>
#include <cstring>

#include "platform/samba/samba_library.h"

namespace quillmot {

DisplayLeftovers::DisplayLeftovers(SambaLibrary& library) : library_(library) {
  if (!library.walks_its_context()) return;
  before_ = talloc_children(library, library.context);
  std::sort(before_.begin(), before_.end());
}

// The array the library copied the texts' pointers into before it made the result buffer: the
// buffer is a copy of it, byte for byte.
bool DisplayLeftovers::is_first_copy(const void* child, const NET_DISPLAY_GROUP* groups,
                                     uint32_t count) const {
  const size_t size = count * sizeof(NET_DISPLAY_GROUP);
  return library_.talloc_size(child) == size && std::memcmp(child, groups, size) == 0;
}

// The decoded reply: this batch's count, and an array of its
// own entries with the batch's identifiers and next indexes, in order.
bool DisplayLeftovers::is_decoded_reply(const void* child, const NET_DISPLAY_GROUP* groups,
                                        uint32_t count) const {
  if (library_.talloc_size(child) != sizeof(DisplayReply)) return false;
  const auto* reply = static_cast<const DisplayReply*>(child);
  if (reply->count != count) return false;
  // The entries pointer is read as a pointer only once it is known to be one of the reply's own
  // (a grandchild in Samba 4.17 and 4.22, below a part of the decoder's).
  const std::vector<const void*> parts = talloc_children(library_, child, kDisplayEntriesDepth);
  if (std::find(parts.begin(), parts.end(), reply->entries) == parts.end()) return false;
  if (library_.talloc_size(reply->entries) != count * sizeof(DisplayReplyEntry)) return false;
  for (uint32_t i = 0; i < count; ++i)
    if (reply->entries[i].rid != groups[i].grpi3_group_id ||
        reply->entries[i].idx != groups[i].grpi3_next_index)
      return false;
  return true;
}

void DisplayLeftovers::free(const NET_DISPLAY_GROUP* groups, uint32_t count, const void* buffer) {
  if (!library_.walks_its_context() || count == 0 || groups == nullptr) return;
  std::vector<const void*> texts;
  for (uint32_t i = 0; i < count; ++i)
    for (const char* text : {groups[i].grpi3_name, groups[i].grpi3_comment})
      if (text != nullptr) texts.push_back(text);
  std::sort(texts.begin(), texts.end());
  // Texts of their own, one each, or the batch is not what the library is known to leave.
  if (std::adjacent_find(texts.begin(), texts.end()) != texts.end()) return;
  std::vector<void*> leftovers;
  size_t texts_found = 0, first_copies = 0, replies = 0;
  for (const void* child : talloc_children(library_, library_.context)) {
    if (child == buffer || std::binary_search(before_.begin(), before_.end(), child)) continue;
    if (std::binary_search(texts.begin(), texts.end(), child)) {
      ++texts_found;
    } else if (is_first_copy(child, groups, count)) {
      ++first_copies;
    } else if (is_decoded_reply(child, groups, count)) {
      ++replies;
    } else {
      continue;
    }
    leftovers.push_back(const_cast<void*>(child));
  }
  // The whole shape, or nothing: a library that keeps any of these blocks for itself, or lays them
  // out otherwise, keeps them all, and the listing holds every batch as the library alone would.
  if (texts_found != texts.size() || first_copies != 1 || replies != 1) return;
  for (void* leftover : leftovers) library_.talloc_free(leftover, __FILE__);
}

}  // namespace quillmot
