#include "byte_stream.h"

#include <algorithm>
#include <system_error>

namespace kestravuna {
namespace {

int Whence(SeekOrigin origin) {
  switch (origin) {
    case SeekOrigin::Begin:
      return SEEK_SET;
    case SeekOrigin::Current:
      return SEEK_CUR;
    case SeekOrigin::End:
      return SEEK_END;
  }
  return SEEK_SET;
}

std::FILE* OpenFile(const std::filesystem::path& path, FileStream::Mode mode) {
  const bool forWriting = mode == FileStream::Mode::Create;
#ifdef _WIN32
  // The narrow API would pass the name through the ANSI code page and lose characters.
  return _wfopen(path.c_str(), forWriting ? L"wb" : L"rb");
#else
  return std::fopen(path.c_str(), forWriting ? "wb" : "rb");
#endif
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FileStream

// The C library opens a directory for reading on some systems; it has no bytes to give.
FileStream::FileStream(const std::filesystem::path& path, Mode mode) {
  std::error_code ignored;
  if (!std::filesystem::is_directory(path, ignored)) file_.reset(OpenFile(path, mode));
}

std::int64_t FileStream::Read(std::span<std::uint8_t> buffer) {
  if (!file_) return -1;
  const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
  // A short count is the end of the file unless the file layer flagged an error.
  if (count < buffer.size() && std::ferror(file_.get()) != 0) return -1;
  return static_cast<std::int64_t>(count);
}

std::int64_t FileStream::Write(std::span<const std::uint8_t> data) {
  if (!file_) return 0;
  return static_cast<std::int64_t>(std::fwrite(data.data(), 1, data.size(), file_.get()));
}

std::int64_t FileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (!file_) return -1;
  if (offset < std::numeric_limits<long>::min() || offset > std::numeric_limits<long>::max()) {
    return -1;
  }
  if (std::fseek(file_.get(), static_cast<long>(offset), Whence(origin)) != 0) return -1;
  return std::ftell(file_.get());
}

std::int64_t FileStream::Size() {
  const std::int64_t position = Position();
  if (position < 0) return -1;
  const std::int64_t size = Seek(0, SeekOrigin::End);
  if (Seek(position, SeekOrigin::Begin) < 0) return -1;
  return size;
}

bool FileStream::Close() {
  if (!file_) return false;
  const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
  return std::fclose(file_.release()) == 0 && flushed;
}

// ---------------------------------------------------------------------------------------------
// MemoryStream

std::int64_t MemoryStream::Read(std::span<std::uint8_t> buffer) {
  if (position_ >= data_.size()) return 0;
  const std::size_t count = std::min(buffer.size(), data_.size() - position_);
  std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
  position_ += count;
  return static_cast<std::int64_t>(count);
}

std::int64_t MemoryStream::Write(std::span<const std::uint8_t> data) {
  if (position_ >= capacity_) return 0;
  const std::size_t count = std::min(data.size(), capacity_ - position_);
  // A position behind the end, reached by Seek, leaves a gap of zero bytes as in a file.
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::copy_n(data.begin(), count, data_.begin() + static_cast<std::ptrdiff_t>(position_));
  position_ += count;
  return static_cast<std::int64_t>(count);
}

std::int64_t MemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == SeekOrigin::Current) base = static_cast<std::int64_t>(position_);
  if (origin == SeekOrigin::End) base = static_cast<std::int64_t>(data_.size());
  if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base) return -1;
  position_ = static_cast<std::size_t>(base + offset);
  return base + offset;
}

}  // namespace kestravuna
