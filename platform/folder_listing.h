// Folder enumeration with file attributes in the values of the Windows conventions,
// which the archive format and the folder scan are built on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestravuna::platform {

namespace attr {
inline constexpr std::uint32_t kReadOnly = 1;
inline constexpr std::uint32_t kHidden = 2;
inline constexpr std::uint32_t kSystem = 4;
inline constexpr std::uint32_t kVolumeLabel = 8;
inline constexpr std::uint32_t kDirectory = 16;
inline constexpr std::uint32_t kArchive = 32;
}  // namespace attr

struct FolderEntry {
  std::string name;        // the platform's own file name (UTF-8 on Linux), no path
  std::uint64_t size = 0;  // bytes; 0 for directories
  std::uint32_t attributes = 0;
  // Identity on its volume (the inode) and last modification in nanoseconds since the epoch,
  // for regular files: together with the size they tell whether a file was written to or
  // replaced since it was listed. 0 for directories.
  std::uint64_t fileId = 0;
  std::int64_t modifiedNs = 0;
};

// A plain file: none of hidden, system, volume label and directory.
bool IsPlainFile(std::uint32_t attributes) noexcept;

// Every regular file and directory of one folder level (without "." and ".."), in the
// order the file system returns them. On Linux: a directory has 16, a regular file 32,
// read-only (no write bit for the owner) adds 1 to a file, a name starting with "." adds 2.
// Symbolic links, FIFOs, sockets and devices are never listed.
// Raises EInOutError when the folder cannot be listed.
std::vector<FolderEntry> ListFolder(const std::filesystem::path& folder);

// Hands every entry that ListFolder would return to `visit`, in the same order, without
// collecting them first, for walks over large folders. The entry is valid only during the
// call. Raises EInOutError when the folder cannot be listed; an exception from `visit`
// ends the walk and passes on.
void ForEachFolderEntry(const std::filesystem::path& folder,
                        const std::function<void(const FolderEntry&)>& visit);

// The entry ListFolder would list for `path` as it stands now, or nullopt when nothing it
// lists stands there (no entry, or a link, FIFO or device). Raises EInOutError when the folder
// cannot be read.
std::optional<FolderEntry> EntryOf(const std::filesystem::path& path);

// Attributes of one file or directory, as ListFolder reports them (EInOutError 2 when it
// does not exist or is an entry ListFolder never lists, such as a symbolic link).
std::uint32_t GetAttributes(const std::filesystem::path& path);

// Sets read-only from bit 1 (clears every write bit, or gives the owner write access
// back); hidden, system and archive cannot be set on Linux and are ignored, and so is
// read-only for a directory (which never reports it either). Raises
// EInOutError as GetAttributes does, or with the cause when the mode cannot be changed.
void SetAttributes(const std::filesystem::path& path, std::uint32_t attributes);

}  // namespace kestravuna::platform
