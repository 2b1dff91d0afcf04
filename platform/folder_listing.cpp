#include "platform/folder_listing.h"

namespace kestravuna::platform {

bool IsPlainFile(std::uint32_t attributes) noexcept {
  constexpr std::uint32_t kNotPlain =
      attr::kHidden | attr::kSystem | attr::kVolumeLabel | attr::kDirectory;
  return (attributes & kNotPlain) == 0;
}

std::vector<FolderEntry> ListFolder(const std::filesystem::path& folder) {
  std::vector<FolderEntry> entries;
  ForEachFolderEntry(folder, [&entries](const FolderEntry& entry) { entries.push_back(entry); });
  return entries;
}

}  // namespace kestravuna::platform
