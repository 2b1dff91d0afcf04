// File operations on paths, the working directory, drives and the program's own file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna::platform {

// EInOutError on failure. A file's mode and attributes stay as they are: POSIX needs no write
// access to the file itself; Windows refuses a read-only file, whose mark is dropped first, and
// only where the file has no other name that would keep the change.
void DeleteFile(const std::filesystem::path& path);
// Renames within one file system; fails (EInOutError 5) when `to` exists already,
// as on Windows, instead of silently replacing it.
void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Renames `from` to `to` in one step, replacing a plain file under `to`: at every moment one
// of the two stands under `to`, so a run stopped halfway never leaves neither.
void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
bool FileExists(const std::filesystem::path& path);  // a regular file (links not followed)

// Whether a file named `name` (UTF-8) can stand in `folder` as far as the length of names goes:
// at most the file system's limit of bytes on Linux (255 on most), 255 UTF-16 units on Windows.
bool NameFits(const std::filesystem::path& folder, std::string_view name);

// What stands under a name, links not followed. Anything but a plain file (a folder, a link,
// a FIFO, a device) under one of the program's names is someone else's.
enum class EntryKind { Missing, PlainFile, Other };
EntryKind KindOfEntry(const std::filesystem::path& path);

// Whether this process may delete the file `path`: it needs write and search access to the
// folder and, where the folder is shared through the sticky bit (such as /tmp), must own the
// file or the folder; neither the file nor the folder may be marked immutable or append-only.
// On Windows the access list must allow it, and a read-only file must have one name only (its
// mark is dropped to delete it, which would change the file under its other names).
// Lets a run refuse before it writes anything instead of stopping halfway.
bool CanDeleteFile(const std::filesystem::path& path);

// Durability, the same promise on every system: once SyncFiles has returned, the contents,
// size, times and attributes of each file it was given are on the disk, as far as the device
// keeps what it reports written; once SyncDirectory has returned, so are the names created,
// renamed and deleted in the folder. A run that deletes a user's file first makes durable
// whatever holds it instead. Neither changes a file's contents, times or attributes. Each
// raises EInOutError where a name is missing (2), is no plain file or folder (5, 3) or the
// system reports a failure; each file flushed counts as one mutating file operation for the
// fault hook.
// Linux: fsync of every file (opened for reading, which fsync needs no more than) and of the
// folder; a file system that keeps no folder data to flush (EINVAL) has nothing left to do.
// Windows: FlushFileBuffers through a handle that may write, which Windows demands; a file
// marked read-only is unmarked for the moment it takes to open it (win32/file.cpp). Folders
// are flushed the same way where the file system allows it (NTFS does); where it refuses, the
// names rest on its own journal, and the call says nothing of it, as Linux does on EINVAL.

// Flushes every file, several at once: each flush mostly waits for the device. After a failure
// the other threads stop once their current file is flushed, and then the first failure is
// thrown.
void SyncFiles(const std::vector<std::filesystem::path>& files);
void SyncDirectory(const std::filesystem::path& folder);

// `path` as a user knows it: a path through a folder a run has pinned (FolderLock::Folder)
// under the folder's present path; any other path as it is.
std::filesystem::path PathAsUserKnowsIt(const std::filesystem::path& path);

std::filesystem::path WorkingDirectory();
void SetWorkingDirectory(const std::filesystem::path& folder);  // EInOutError on failure

// The running program's own executable file.
std::filesystem::path OwnExecutable();

// Whether `path` names the program's own executable (same file, not just the same name).
bool IsOwnExecutable(const std::filesystem::path& path);

// The root of the first disk, which the program refuses to protect ("/" on Linux).
std::filesystem::path FirstDiskRoot();

// Mounted volumes a user can open, by mount point; the root file system first.
std::vector<std::filesystem::path> Drives();

// The private directory for the temporary archive files: $XDG_CACHE_HOME/kestravuna or
// ~/.cache/kestravuna, created with mode 0700. Refused (EInOutError 5) when it is a
// symbolic link, not a directory or not owned by the user.
std::filesystem::path PrivateTempDir();

// The folder of the user's remembered choices: $XDG_CONFIG_HOME/kestravuna or
// ~/.config/kestravuna (mode 0700), %APPDATA%\Kestravuna on Windows; refused as PrivateTempDir
// is.
std::filesystem::path UserConfigDir();

}  // namespace kestravuna::platform
