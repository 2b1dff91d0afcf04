// Folder listing and attributes on a POSIX file system, mapped onto the Windows
// attribute values: directory 16, regular file 32, read-only 1 when the owner may not
// write, hidden 2 for a name starting with ".". Nothing else is visible to the program.
#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/detail/fault_injection.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

bool IsHiddenName(std::string_view name) {
  return name.starts_with('.') && name != "." && name != "..";
}

std::uint32_t DirectoryAttributes(std::string_view name) {
  return attr::kDirectory | (IsHiddenName(name) ? attr::kHidden : 0);
}

void SetDirectory(FolderEntry& entry, std::string_view name) {
  entry.size = 0;
  entry.attributes = DirectoryAttributes(name);
  entry.fileId = 0;
  entry.modifiedNs = 0;
}

std::uint32_t RegularFileAttributes(std::string_view name, mode_t mode) {
  return attr::kArchive | ((mode & S_IWUSR) == 0 ? attr::kReadOnly : 0) |
         (IsHiddenName(name) ? attr::kHidden : 0);
}

void SetRegularFile(FolderEntry& entry, std::string_view name, const struct stat& status) {
  entry.size = static_cast<std::uint64_t>(status.st_size);
  entry.attributes = RegularFileAttributes(name, status.st_mode);
  entry.fileId = static_cast<std::uint64_t>(status.st_ino);
  entry.modifiedNs = std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
}

// lstat that treats everything other than a regular file or directory as absent.
struct stat VisibleEntryStatus(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    ThrowIoErrorFromErrno(path);
  }
  if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
    throw EInOutError(io_error::kFileNotFound, path);
  }
  return status;
}

struct DirectoryCloser {
  void operator()(DIR* directory) const noexcept { ::closedir(directory); }
};

}  // namespace

void ForEachFolderEntry(const std::filesystem::path& folder,
                        const std::function<void(const FolderEntry&)>& visit) {
  const std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
  if (!directory) {
    ThrowIoErrorFromErrno(folder);
  }
  const int directoryFd = ::dirfd(directory.get());
  FolderEntry entry;  // reused, so its name keeps its buffer from entry to entry
  for (;;) {
    errno = 0;
    const dirent* item = ::readdir(directory.get());
    if (item == nullptr) {
      if (errno != 0) {
        ThrowIoErrorFromErrno(folder);
      }
      return;
    }
    const std::string_view name(item->d_name);
    if (name == "." || name == "..") {
      continue;
    }
    if (item->d_type == DT_DIR) {
      // The entry type from the directory itself spares a stat for every subfolder.
      SetDirectory(entry, name);
    } else if (item->d_type == DT_REG || item->d_type == DT_UNKNOWN) {
      // Size and owner write bit need the inode. The stat is relative to the open folder,
      // and not following links, so an entry that became a link since is still skipped.
      struct stat status {};
      if (::fstatat(directoryFd, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
          continue;  // deleted since the folder was read
        }
        ThrowIoErrorFromErrno(folder / item->d_name);
      }
      if (S_ISREG(status.st_mode)) {
        SetRegularFile(entry, name, status);
      } else if (S_ISDIR(status.st_mode)) {
        SetDirectory(entry, name);
      } else {
        continue;
      }
    } else {
      continue;  // symbolic links, FIFOs, sockets and devices stay invisible
    }
    entry.name.assign(name);
    visit(entry);
  }
}

std::optional<FolderEntry> EntryOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return std::nullopt;
    ThrowIoErrorFromErrno(path);
  }
  FolderEntry entry;
  entry.name = path.filename().string();
  if (S_ISREG(status.st_mode)) {
    SetRegularFile(entry, entry.name, status);
  } else if (S_ISDIR(status.st_mode)) {
    SetDirectory(entry, entry.name);
  } else {
    return std::nullopt;
  }
  return entry;
}

std::uint32_t GetAttributes(const std::filesystem::path& path) {
  const struct stat status = VisibleEntryStatus(path);
  const std::string name = path.filename().string();
  return S_ISDIR(status.st_mode) ? DirectoryAttributes(name)
                                 : RegularFileAttributes(name, status.st_mode);
}

void SetAttributes(const std::filesystem::path& path, std::uint32_t attributes) {
  BeforeMutatingFileOperation();
  const struct stat status = VisibleEntryStatus(path);
  // A directory keeps its mode: a read-only folder on Windows still takes new files, a
  // directory without write access would not.
  if (S_ISDIR(status.st_mode)) {
    return;
  }
  const mode_t mode = status.st_mode & 07777;
  const mode_t wanted = (attributes & attr::kReadOnly) != 0
                            ? (mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH})
                            : (mode | S_IWUSR);
  if (wanted == mode) {
    return;
  }
  // Not following links: if a link took the entry's place since the lstat, the call fails
  // instead of changing the mode of whatever the link points at.
  if (::fchmodat(AT_FDCWD, path.c_str(), wanted, AT_SYMLINK_NOFOLLOW) != 0) {
    ThrowIoErrorFromErrno(path);
  }
}

}  // namespace kestravuna::platform
