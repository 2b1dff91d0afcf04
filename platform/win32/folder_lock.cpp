// The folder lock as a named mutex of the folder's identity (volume and file index) in the
// global namespace, which every process of every session sees, so a second user logged on at
// the same time is refused as well; the system releases it when the holder ends, also when
// it is killed. The folder itself stays open without leave to delete it, so nobody can rename
// or remove it while the run holds it: its path names the locked folder to the end.
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/folder_lock.h"
#include "platform/io_error.h"
#include "platform/win32/win32_support.h"

namespace kestravuna::platform {

namespace {

// The folder, opened so that nobody may rename or delete it while the handle is open.
HANDLE OpenPinnedFolder(const std::filesystem::path& folder) {
  const HANDLE handle =
      CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowIoErrorFromWindows(folder);
  return handle;
}

std::wstring MutexNameOf(HANDLE folderHandle, const std::filesystem::path& folder) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(folderHandle, &information)) ThrowIoErrorFromWindows(folder);
  return L"Global\\Kestravuna-" + std::to_wstring(information.dwVolumeSerialNumber) + L"-" +
         std::to_wstring(information.nFileIndexHigh) + L"-" +
         std::to_wstring(information.nFileIndexLow);
}

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A mutex belongs to a thread and may be taken again by it; the folders this process holds
// are kept here, so that a second lock of one folder is refused within the process as well.
std::mutex heldMutex;
std::map<std::intptr_t, std::wstring>& Held() {
  static std::map<std::intptr_t, std::wstring> held;
  return held;
}

// Closes the handle when the folder turns out to be taken or unusable.
struct FolderHandle {
  HANDLE handle;
  ~FolderHandle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HANDLE Release() { return std::exchange(handle, INVALID_HANDLE_VALUE); }
};

}  // namespace

std::optional<FolderLock> FolderLock::TryLock(const std::filesystem::path& folder) {
  FolderHandle pinned{OpenPinnedFolder(folder)};
  const std::wstring name = MutexNameOf(pinned.handle, folder);
  const std::lock_guard lock(heldMutex);
  for (const auto& [handle, heldName] : Held()) {
    if (heldName == name) return std::nullopt;
  }
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  // Another user's mutex is closed to this one; it exists only while its run holds it.
  if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) return std::nullopt;
  if (mutex == nullptr) ThrowIoErrorFromWindows(folder);
  // WAIT_ABANDONED: the last holder ended without letting go; the lock is ours now.
  const DWORD result = WaitForSingleObject(mutex, 0);
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return std::nullopt;
  }
  const auto handle = reinterpret_cast<std::intptr_t>(mutex);
  Held().emplace(handle, name);
  return FolderLock(handle, reinterpret_cast<std::intptr_t>(pinned.Release()), folder);
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)),
      folderHandle_(std::exchange(other.folderHandle_, kNone)),
      folder_(std::move(other.folder_)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNone);
    folderHandle_ = std::exchange(other.folderHandle_, kNone);
    folder_ = std::move(other.folder_);
  }
  return *this;
}

FolderLock::~FolderLock() { Release(); }

void FolderLock::Release() noexcept {
  if (handle_ != kNone) {
    {
      const std::lock_guard lock(heldMutex);
      Held().erase(handle_);
    }
    ReleaseMutex(HandleOf(handle_));
    CloseHandle(HandleOf(handle_));
  }
  if (folderHandle_ != kNone) CloseHandle(HandleOf(folderHandle_));
}

}  // namespace kestravuna::platform
