// A file handle whose every operation is checked: a failure raises EInOutError with
// the error number of the cause. Closing happens in the destructor as well, without a
// check, so an exception never leaves a file open.
// Only regular files are opened: a symbolic link is not followed, and a link, directory,
// FIFO or device under the name raises error 5. Any operation on a closed handle raises 103.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace kestravuna::platform {

class File {
 public:
  static File OpenRead(const std::filesystem::path& path);       // existing file, read only
  static File OpenReadWrite(const std::filesystem::path& path);  // existing file, read and write
  // Created (mode 0666 less the umask) or truncated to 0 bytes; open for reading and writing.
  static File Create(const std::filesystem::path& path);

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
  void SeekToEnd();
  std::int64_t Position() const;
  std::int64_t Size() const;
  void Sync();   // flushes the file's data to the disk (fsync)
  void Close();  // checked close; the handle is then no longer open
  bool IsOpen() const noexcept { return fd_ >= 0; }

 private:
  File(int fd, bool writable) noexcept : fd_(fd), writable_(writable) {}
  void RequireOpen() const;  // error 103 on a closed handle

  int fd_ = -1;
  bool writable_ = false;  // opened for writing: closing it counts as a change of the file
};

}  // namespace kestravuna::platform
