#include "compress/byte_stream.h"

#include <algorithm>

#include "platform/io_error.h"

namespace kestravuna {

// ---------------------------------------------------------------------------------------------
// FileStream
//
// The component's conventions are counts and negative results; the file layer's exceptions end
// here. What went wrong reaches the user as the component's message, which names the file.

namespace {

std::optional<platform::File> OpenFile(const std::filesystem::path& path, FileStream::Mode mode) {
  try {
    return mode == FileStream::Mode::Read ? platform::File::OpenRead(path)
                                          : platform::File::Replace(path);
  } catch (const platform::EInOutError&) {
    return std::nullopt;
  }
}

}  // namespace

FileStream::FileStream(const std::filesystem::path& path, Mode mode)
    : file_(OpenFile(path, mode)) {}

std::int64_t FileStream::Read(std::span<std::uint8_t> buffer) {
  if (!file_) return -1;
  try {
    return static_cast<std::int64_t>(file_->Read(buffer));
  } catch (const platform::EInOutError&) {
    return -1;
  }
}

std::int64_t FileStream::Write(std::span<const std::uint8_t> data) {
  if (!file_) return 0;
  try {
    file_->Write(data);
    return static_cast<std::int64_t>(data.size());
  } catch (const platform::EInOutError&) {
    return 0;  // how much reached the file is unknown; less than asked is the failure
  }
}

std::int64_t FileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (!file_) return -1;
  try {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) base = file_->Position();
    if (origin == SeekOrigin::End) base = file_->Size();
    if (offset > std::numeric_limits<std::int64_t>::max() - base) return -1;
    file_->Seek(base + offset);
    return base + offset;
  } catch (const platform::EInOutError&) {
    return -1;
  }
}

std::int64_t FileStream::Size() {
  if (!file_) return -1;
  try {
    return file_->Size();
  } catch (const platform::EInOutError&) {
    return -1;
  }
}

bool FileStream::ShareAccessOf(const FileStream& source) {
  if (!file_ || !source.file_) return false;
  try {
    file_->ShareAccessOf(source.file_->Access());
    return true;
  } catch (const platform::EInOutError&) {
    return false;
  }
}

bool FileStream::Close() {
  if (!file_) return false;
  try {
    file_->Close();
    file_.reset();
    return true;
  } catch (const platform::EInOutError&) {
    file_.reset();
    return false;
  }
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

std::int64_t ReadFully(ByteStream& source, std::span<std::uint8_t> buffer) {
  std::size_t filled = 0;
  while (filled < buffer.size()) {
    const std::int64_t got = source.Read(buffer.subspan(filled));
    if (got < 0 || got > static_cast<std::int64_t>(buffer.size() - filled)) return -1;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(filled);
}

std::int64_t ReplayingStream::Read(std::span<std::uint8_t> buffer) {
  const auto taken = static_cast<std::int64_t>(taken_.size());
  const auto replayed = static_cast<std::size_t>(
      std::clamp<std::int64_t>(taken - position_, 0, static_cast<std::int64_t>(buffer.size())));
  std::copy_n(taken_.begin() + position_, replayed, buffer.begin());
  position_ += static_cast<std::int64_t>(replayed);
  if (replayed == buffer.size()) return static_cast<std::int64_t>(replayed);
  const std::int64_t got = rest_.Read(buffer.subspan(replayed));
  if (got < 0) return got;
  position_ += got;
  return static_cast<std::int64_t>(replayed) + got;
}

std::int64_t ReplayingStream::Seek(std::int64_t offset, SeekOrigin origin) {
  return origin == SeekOrigin::Current && offset == 0 ? position_ : -1;
}

}  // namespace kestravuna
