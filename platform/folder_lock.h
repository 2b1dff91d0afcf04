// One run per folder across processes: a protect or restore holds the folder's lock from its
// first look at the folder to its last change, so a second run of the same folder, from another
// window, shell or script, is refused instead of taking the first run's files for leftovers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace kestravuna::platform {

class FolderLock {
 public:
  // The lock of `folder`, or nullopt while another holder has it. EInOutError when the folder
  // cannot be opened. The lock ends with the object or with the process, however it ends.
  static std::optional<FolderLock> TryLock(const std::filesystem::path& folder);

  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

 private:
  // A descriptor of the folder on POSIX, a mutex HANDLE on Windows; -1 for none.
  using NativeHandle = std::intptr_t;
  static constexpr NativeHandle kNone = -1;

  explicit FolderLock(NativeHandle handle) noexcept : handle_(handle) {}
  NativeHandle handle_ = kNone;
};

}  // namespace kestravuna::platform
