// A file handle whose every operation is checked: a failure raises EInOutError with
// the error number of the cause. Closing happens in the destructor as well, without a
// check, so an exception never leaves a file open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace kestravuna::platform {

class File {
 public:
  static File OpenRead(const std::filesystem::path& path);       // existing file, read only
  static File OpenReadWrite(const std::filesystem::path& path);  // existing file, read and write
  static File Create(const std::filesystem::path& path);         // created, or truncated to 0 bytes

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Reads up to buffer.size() bytes; returns the count, 0 at the end of the file.
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
  explicit File(int fd) noexcept : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace kestravuna::platform
