// The byte streams the compressor reads from and writes to: an interface with the failure
// conventions of the component (negative results instead of exceptions), a file-backed and a
// memory-backed implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "platform/file.h"

namespace kestravuna {

enum class SeekOrigin { Begin, Current, End };

class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Reads up to buffer.size() bytes; returns the count (0 at the end) or a negative value on
  // failure.
  virtual std::int64_t Read(std::span<std::uint8_t> buffer) = 0;
  // Returns the count written; fewer than data.size() means the write failed.
  virtual std::int64_t Write(std::span<const std::uint8_t> data) = 0;
  // Returns the new position, or a negative value when it cannot be reached.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  // Negative when the size cannot be taken.
  virtual std::int64_t Size() = 0;
  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
};

// Reads until `buffer` is full or the stream ends: the count, or -1 when the stream failed.
std::int64_t ReadFully(ByteStream& source, std::span<std::uint8_t> buffer);

// A stream that first gives back bytes already taken from `rest`, then the rest of it: a header
// read ahead for what it says, then read again by a decoder that expects it.
class ReplayingStream final : public ByteStream {
 public:
  ReplayingStream(std::span<const std::uint8_t> taken, ByteStream& rest)
      : taken_(taken), rest_(rest) {}

  std::int64_t Read(std::span<std::uint8_t> buffer) override;
  std::int64_t Write(std::span<const std::uint8_t>) override { return -1; }
  // Only where it stands.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return rest_.Size(); }

 private:
  std::span<const std::uint8_t> taken_;
  ByteStream& rest_;
  std::int64_t position_ = 0;
};

// A plain file of the program's file layer: opened for reading, or created new and owner-only
// for writing (an existing plain file under the name is replaced; a link, folder, FIFO or
// device there is never opened, written through or removed). The file is closed by Close or,
// without a check, by the destructor.
class FileStream final : public ByteStream {
 public:
  enum class Mode { Read, Create };
  FileStream(const std::filesystem::path& path, Mode mode);
  bool IsOpen() const noexcept { return file_.has_value(); }

  std::int64_t Read(std::span<std::uint8_t> buffer) override;
  std::int64_t Write(std::span<const std::uint8_t> data) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override;
  // Opens the file to others no further than `source` is open (see platform::File); false
  // when that fails.
  bool ShareAccessOf(const FileStream& source);
  // False when the close fails.
  bool Close();

 private:
  std::optional<platform::File> file_;
};

// A stream over a byte vector it owns. Writes beyond `capacity` bytes store only what fits, so
// a caller can bound how much a run may produce.
class MemoryStream final : public ByteStream {
 public:
  explicit MemoryStream(std::size_t capacity = std::numeric_limits<std::size_t>::max())
      : capacity_(capacity) {}
  explicit MemoryStream(std::span<const std::uint8_t> contents,
                        std::size_t capacity = std::numeric_limits<std::size_t>::max())
      : data_(contents.begin(), contents.end()), capacity_(capacity) {}

  std::int64_t Read(std::span<std::uint8_t> buffer) override;
  std::int64_t Write(std::span<const std::uint8_t> data) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

  const std::vector<std::uint8_t>& Data() const noexcept { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
  std::size_t capacity_;
};

}  // namespace kestravuna
