// A file handle whose every operation is checked: a failure raises EInOutError with
// the error number of the cause (naming the file when it cannot be opened). Closing happens
// in the destructor as well, without a check, so an exception never leaves a file open.
// Only regular files are opened: a symbolic link is not followed, and a link, directory,
// FIFO or device under the name raises error 5. Any operation on a closed handle raises 103.
// Every file the program creates is new and readable by its owner only; it is given wider
// access only explicitly, and never wider than the files its contents came from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <utility>

namespace kestravuna::platform {

// Who besides its owner may read or write a file: on POSIX its permission bits and its group.
struct FileAccess {
  std::uint32_t mode = 0600;
  std::uint32_t group = 0;
};

// What both allow: the permission bits both grant, the group's only where the group is the
// same (the group bits of a file of another group would open it to other people).
FileAccess NarrowestAccess(const FileAccess& a, const FileAccess& b) noexcept;

class File {
 public:
  static File OpenRead(const std::filesystem::path& path);  // existing file, read only
  // Created new, readable and writable by the owner only, open for reading and writing. Any
  // entry already under the name (a file, or a link someone planted there) raises error 5:
  // the program never writes into or through something it did not make in this call.
  static File Create(const std::filesystem::path& path);
  // As Create, for a destination the caller named: a plain file already under the name is
  // deleted first; anything else there (a link, a folder, a device) raises error 5.
  static File Replace(const std::filesystem::path& path);
  // Created new as Create does, under `prefix` and six characters nobody else can guess in
  // `folder`; returns the file and its path.
  static std::pair<File, std::filesystem::path> CreateUnique(const std::filesystem::path& folder,
                                                             std::string_view prefix);
  // A file without a name in `folder`, for a run's temporary data: it goes away when it is
  // closed or the process ends, however it ends, so it is never left behind and no other run
  // can meet it.
  static File CreateAnonymous(const std::filesystem::path& folder);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Reads up to buffer.size() bytes; returns the count, which is smaller only at the end
  // of the file (0 there).
  std::size_t Read(std::span<std::uint8_t> buffer);
  // Reads exactly buffer.size() bytes; a short read raises error 100.
  void ReadExact(std::span<std::uint8_t> buffer);
  // Writes every byte; a short write (disk full) raises error 101.
  void Write(std::span<const std::uint8_t> data);
  void Seek(std::int64_t position);
  std::int64_t Position() const;
  std::int64_t Size() const;
  FileAccess Access() const;
  // Opens this file to others as far as `source` is open to them, and no further: read and
  // write bits of group and others as in `source` (the group's only where this file has the
  // same group), the owner's read and write always, never execute or special bits.
  void ShareAccessOf(const FileAccess& source);
  // Flushes the file's data to the disk, with the promise of SyncFiles (file_system.h). Only a
  // file opened for writing: Windows flushes through no other handle, so a handle opened for
  // reading raises error 5 on every system; SyncFiles flushes a file by its name.
  void Sync();
  // Starts writing the file's data to the disk without waiting for it, so that a later Sync
  // has little left to wait for. Only a hint: where the system offers no such call, and when
  // the call fails, nothing happens.
  void StartFlush() noexcept;
  void Close();  // checked close; the handle is then no longer open
  bool IsOpen() const noexcept { return handle_ != kClosed; }

 private:
  // The system's handle: a file descriptor on POSIX, a HANDLE on Windows. Both systems use
  // -1 for "none" (INVALID_HANDLE_VALUE on Windows).
  using NativeHandle = std::intptr_t;
  static constexpr NativeHandle kClosed = -1;

  File(NativeHandle handle, bool writable) noexcept : handle_(handle), writable_(writable) {}
  void RequireOpen() const;  // error 103 on a closed handle

  NativeHandle handle_ = kClosed;
  bool writable_ = false;  // opened for writing: closing it counts as a change of the file

  friend class StagedFile;
};

// A new file written in a folder under no name anybody could meet or take for their own, which
// takes its name only once it is complete. Until Publish, it vanishes with the object or the
// process, however that ends, so a stopped run leaves nothing behind: on Linux an unnamed file
// of the folder (O_TMPFILE), on Windows a hidden file marked for deletion until it is published.
// A Linux file system without unnamed files gets a hidden name (".CHIFF.NEU-" and six
// characters) that the object removes, but a killed process leaves.
class StagedFile {
 public:
  static StagedFile Create(const std::filesystem::path& folder);

  StagedFile(StagedFile&&) noexcept = default;
  StagedFile& operator=(StagedFile&&) noexcept;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();

  // The open file, for writing and reading its contents back.
  File& Contents() noexcept { return file_; }
  // Gives the file the name `target` and closes it. Anything already under `target` stays and
  // raises error 5 instead, as RenameFile does.
  void Publish(const std::filesystem::path& target);

 private:
  StagedFile(File file, std::filesystem::path stagingName) noexcept
      : file_(std::move(file)), stagingName_(std::move(stagingName)) {}

  File file_;
  std::filesystem::path stagingName_;  // the name it stands under meanwhile, where it has one
};

// Removes a file that the caller created as `file` under `path` and that failed halfway:
// closes it unchecked and deletes the plain file under the name (a link or folder put there
// since stays). Never raises; the caller's own error is on its way.
void DeleteCreatedFile(File&& file, const std::filesystem::path& path) noexcept;

}  // namespace kestravuna::platform
