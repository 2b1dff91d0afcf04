#include "platform/file.h"

#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

constexpr std::uint32_t kGroupBits = 070;

}  // namespace

FileAccess NarrowestAccess(const FileAccess& a, const FileAccess& b) noexcept {
  FileAccess narrowest{a.mode & b.mode, a.group};
  if (a.group != b.group) narrowest.mode &= ~kGroupBits;
  return narrowest;
}

void DeleteCreatedFile(File&& file, const std::filesystem::path& path) noexcept {
  { const File closing = std::move(file); }
  try {
    if (KindOfEntry(path) == EntryKind::PlainFile) DeleteFile(path);
  } catch (const EInOutError&) {
    // The file stays; the error that ended the caller's work names the cause.
  }
}

}  // namespace kestravuna::platform
