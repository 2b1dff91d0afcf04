// One run per folder across processes: a protect or restore holds the folder's lock from its
// first look at the folder to its last change, so a second run of the same folder, from another
// window, shell or script, is refused instead of taking the first run's files for leftovers.
// The lock also pins the folder itself: whatever its path names later (the folder renamed away
// and another moved to its place), the run reaches the folder it locked and checked through
// Folder(), never another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

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

  // The path through which every operation of the run reaches the locked folder. On Linux the
  // folder's descriptor (/proc/self/fd/N), which follows the folder wherever it is moved; on
  // Windows its own path, since the folder is held open without leave to rename or remove it.
  const std::filesystem::path& Folder() const noexcept { return folder_; }

 private:
  // A descriptor of the folder on POSIX; on Windows a mutex HANDLE and a HANDLE of the folder
  // itself. -1 for none.
  using NativeHandle = std::intptr_t;
  static constexpr NativeHandle kNone = -1;

  FolderLock(NativeHandle handle, NativeHandle folderHandle, std::filesystem::path folder) noexcept
      : handle_(handle), folderHandle_(folderHandle), folder_(std::move(folder)) {}
  void Release() noexcept;

  NativeHandle handle_ = kNone;
  NativeHandle folderHandle_ = kNone;
  std::filesystem::path folder_;
};

}  // namespace kestravuna::platform
