#include "protect/container_check.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "archive/archive_error.h"
#include "archive/archive_record.h"
#include "archive/unpack_archive.h"
#include "compress/byte_stream.h"
#include "compress/container_format.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "protect/password_record.h"
#include "protect/protect_error.h"
#include "seal/sealed_container.h"

namespace kestravuna {

namespace {

constexpr std::size_t kCompareChunk = 64 * 1024;

// The output stream of the verifying decode: instead of storing what it is given, it reads
// as many bytes of the expected file and reports a failed write at the first difference.
class ComparingStream final : public ByteStream {
 public:
  explicit ComparingStream(const std::filesystem::path& expected)
      : expected_(platform::File::OpenRead(expected)) {}

  std::int64_t Read(std::span<std::uint8_t>) override { return -1; }

  std::int64_t Write(std::span<const std::uint8_t> data) override {
    if (differs_) return 0;
    buffer_.resize(data.size());
    const std::size_t got = expected_.Read(buffer_);
    if (got != data.size() || !std::equal(data.begin(), data.end(), buffer_.begin())) {
      differs_ = true;
      return 0;
    }
    position_ += static_cast<std::int64_t>(got);
    return static_cast<std::int64_t>(got);
  }

  // The decoder only asks where it stands.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return offset == 0 && origin == SeekOrigin::Current ? position_ : -1;
  }
  std::int64_t Size() override { return position_; }

  bool MatchedAll() const { return !differs_ && position_ == expected_.Size(); }
  bool MatchedSoFar() const { return !differs_; }

 private:
  platform::File expected_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t position_ = 0;
  bool differs_ = false;
};

// How far one thread has written a file, for another that reads it behind the writer.
class WriteProgress {
 public:
  void Advance(std::size_t bytes) {
    {
      const std::lock_guard lock(mutex_);
      written_ += static_cast<std::int64_t>(bytes);
    }
    changed_.notify_one();
  }
  void Finish() {
    {
      const std::lock_guard lock(mutex_);
      finished_ = true;
    }
    changed_.notify_one();
  }
  // Waits until more than `position` bytes are written or the writer has finished, and
  // returns how many are written.
  std::int64_t WaitBeyond(std::int64_t position) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return written_ > position || finished_; });
    return written_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t written_ = 0;
  bool finished_ = false;
};

// The container as far as the compressor has written it: a read waits for the writer and
// ends where the writer has finished. The file is opened at the first read, once it exists.
class FollowingStream final : public ByteStream {
 public:
  FollowingStream(std::filesystem::path file, WriteProgress& progress)
      : path_(std::move(file)), progress_(progress) {}

  std::int64_t Read(std::span<std::uint8_t> data) override {
    const std::int64_t written = progress_.WaitBeyond(position_);
    if (written <= position_) return 0;
    if (!file_) file_.emplace(platform::File::OpenRead(path_));
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(written - position_, static_cast<std::int64_t>(data.size())));
    const std::size_t got = file_->Read(data.first(wanted));
    position_ += static_cast<std::int64_t>(got);
    return static_cast<std::int64_t>(got);
  }
  std::int64_t Write(std::span<const std::uint8_t>) override { return -1; }
  // The decoder only asks where it stands.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return offset == 0 && origin == SeekOrigin::Current ? position_ : -1;
  }
  std::int64_t Size() override { return position_; }

 private:
  std::filesystem::path path_;
  WriteProgress& progress_;
  std::optional<platform::File> file_;
  std::int64_t position_ = 0;
};

// The legacy container that `source` holds: `source` itself, or for an encrypted container the
// one inside, read with `key`; the contents must then reach the final chunk with nothing
// behind it.
template <typename ReadContainer>
bool ReadThrough(ByteStream& source, const SealKey* key, ReadContainer&& read) {
  if (key == nullptr) return read(source);
  const SealHeader header = ReadSealHeader(source);
  UnsealingStream unsealing(source, header, *key);
  return unsealing.Unlock() && read(unsealing) && unsealing.ReadToEnd();
}

// Whether `container`, read behind its writer, decodes to exactly the bytes of `archive`.
bool DecodesToArchive(const std::filesystem::path& container, WriteProgress& progress,
                      const std::filesystem::path& archive, const SealKey* key) {
  FollowingStream source(container, progress);
  ComparingStream comparison(archive);
  TZarLZ decoder;  // its own instance: the caller's is compressing meanwhile
  try {
    return ReadThrough(source, key, [&](ByteStream& legacy) {
      decoder.Decompress(legacy, comparison);
      return comparison.MatchedAll();
    });
  } catch (const ELzrw1Exception&) {
    return false;  // a write refused by the comparison and a container the decoder cannot read
  } catch (const ESealError&) {
    return false;
  }
}

// The new encrypted container's file: every write is announced to the verifier once it is in
// the file. A write the disk refuses is a short write for the compressor; its error is kept, so
// that the user learns the disk's reason rather than the compressor's.
class AnnouncingFileStream final : public ByteStream {
 public:
  AnnouncingFileStream(platform::File& file, WriteProgress& progress)
      : file_(file), progress_(progress) {}

  std::int64_t Read(std::span<std::uint8_t>) override { return -1; }
  std::int64_t Write(std::span<const std::uint8_t> data) override {
    try {
      file_.Write(data);
    } catch (const platform::EInOutError&) {
      writeError_ = std::current_exception();
      return 0;
    }
    position_ += static_cast<std::int64_t>(data.size());
    progress_.Advance(data.size());
    return static_cast<std::int64_t>(data.size());
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return offset == 0 && origin == SeekOrigin::Current ? position_ : -1;
  }
  std::int64_t Size() override { return position_; }

  void RaiseWriteError() const {
    if (writeError_) std::rethrow_exception(writeError_);
  }

 private:
  platform::File& file_;
  WriteProgress& progress_;
  std::int64_t position_ = 0;
  std::exception_ptr writeError_;
};

// Compresses `archive` into the new file `container`, sealed under `key`. A failed run removes
// the file it created.
void CompressSealed(TZarLZ& pack, const std::filesystem::path& archive,
                    const std::filesystem::path& container, TCompressMode method,
                    const SealKey& key, WriteProgress& progress) {
  FileStream source(archive, FileStream::Mode::Read);
  const platform::FileAccess sourceAccess = platform::File::OpenRead(archive).Access();
  platform::File file = platform::File::Create(container);
  AnnouncingFileStream output(file, progress);
  try {
    SealingStream sealing(output, key);
    pack.Compress(source, sealing, method);
    if (!sealing.Finish()) output.RaiseWriteError();
    // As the compressor's output in file mode: opened to others as far as its source is.
    file.ShareAccessOf(sourceAccess);
    file.Close();
  } catch (...) {
    platform::DeleteCreatedFile(std::move(file), container);
    output.RaiseWriteError();
    throw;
  }
}

// Takes the observer back from the component on every path.
class ObserverLoan {
 public:
  ObserverLoan(TZarLZ& pack, WriteProgress& progress) : pack_(pack) {
    pack_.SetOutputObserver(
        [&progress](std::span<const std::uint8_t> written) { progress.Advance(written.size()); });
  }
  ~ObserverLoan() { pack_.SetOutputObserver({}); }
  ObserverLoan(const ObserverLoan&) = delete;
  ObserverLoan& operator=(const ObserverLoan&) = delete;

 private:
  TZarLZ& pack_;
};

// Whether the folder's `file` holds the `size` archived bytes at the archive's position, of
// which only `available` are there when the archive was cut short: then a beginning of the
// file is all the archive holds of it.
bool HoldsArchivedBytes(platform::File& archive, const std::filesystem::path& file,
                        std::uint32_t size, std::uint32_t available) {
  if (platform::KindOfEntry(file) != platform::EntryKind::PlainFile) return available == 0;
  platform::File present = platform::File::OpenRead(file);
  if (available == size ? present.Size() != size : present.Size() < available) return false;
  std::vector<std::uint8_t> expected(kCompareChunk);
  std::vector<std::uint8_t> actual(kCompareChunk);
  for (std::uint32_t left = available; left > 0;) {
    const std::size_t chunk = std::min<std::size_t>(left, kCompareChunk);
    archive.ReadExact(std::span(expected).first(chunk));
    present.ReadExact(std::span(actual).first(chunk));
    if (!std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(chunk),
                    actual.begin())) {
      return false;
    }
    left -= static_cast<std::uint32_t>(chunk);
  }
  archive.Seek(archive.Position() + (size - available));
  return true;
}

// Whether the first bytes of `file` are `expected`, or all of the file is a beginning of it.
bool BeginsWithPrefixOf(const std::filesystem::path& file, std::span<const std::uint8_t> expected) {
  try {
    std::vector<std::uint8_t> bytes(expected.size());
    const std::size_t got = platform::File::OpenRead(file).Read(bytes);
    return std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got),
                      expected.begin());
  } catch (const platform::EInOutError&) {
    return false;
  }
}

// A container identifier as the container stores it.
std::array<std::uint8_t, kContainerFieldSize> IdentifierBytes(std::uint32_t identifier) {
  std::array<std::uint8_t, kContainerFieldSize> bytes{};
  platform::StoreLe32(bytes, identifier);
  return bytes;
}

}  // namespace

bool BeginsLikeArchive(const std::filesystem::path& file) {
  return BeginsWithPrefixOf(file, ArchiveBeginning());
}

bool IsMissingOrOwnFile(const std::filesystem::path& file) {
  switch (platform::KindOfEntry(file)) {
    case platform::EntryKind::Missing:
      return true;
    case platform::EntryKind::PlainFile:
      return IsContainerFile(file) || BeginsLikeArchive(file) ||
             BeginsWithPrefixOf(file, SealIdentifier()) ||
             BeginsWithPrefixOf(file, PasswordRecordIdentification());
    case platform::EntryKind::Other:
      break;
  }
  return false;  // a link, folder or FIFO is never the program's own
}

bool IsSealedFile(const std::filesystem::path& file) {
  if (platform::KindOfEntry(file) != platform::EntryKind::PlainFile) return false;
  try {
    std::vector<std::uint8_t> beginning(SealIdentifier().size());
    return platform::File::OpenRead(file).Read(beginning) == beginning.size() &&
           BeginsLikeSealedContainer(beginning);
  } catch (const platform::EInOutError&) {
    return false;
  }
}

SealedKeyCheck CheckSealedKey(const std::filesystem::path& file, std::string_view password) {
  if (!IsSealedFile(file)) return SealedKeyCheck::NotSealed;
  FileStream source(file, FileStream::Mode::Read);
  if (source.Size() < static_cast<std::int64_t>(kSealHeaderSize + kSealTagSize)) {
    return SealedKeyCheck::Opens;  // stopped before the key check: no byte of contents yet
  }
  try {
    const SealHeader header = ReadSealHeader(source);
    const SealKey key = SealKey::ForContainer(password, header);
    return UnsealingStream(source, header, key).Unlock() ? SealedKeyCheck::Opens
                                                         : SealedKeyCheck::Refuses;
  } catch (const ESealError&) {
    return SealedKeyCheck::NotSealed;  // damaged: nobody's key opens it
  }
}

void CompressAndVerify(TZarLZ& pack, const std::filesystem::path& archive,
                       const std::filesystem::path& container, TCompressMode method,
                       const SealKey* key) {
  WriteProgress progress;
  bool verified = false;
  std::exception_ptr readError;
  {
    // Decoding is several times faster than encoding, so the check ends with the compressor
    // at no cost in time; the thread is joined before this block is left, on every path.
    std::jthread verifier([&] {
      try {
        verified = DecodesToArchive(container, progress, archive, key);
      } catch (...) {
        readError = std::current_exception();
      }
    });
    const struct FinishOnExit {
      WriteProgress& progress;
      ~FinishOnExit() { progress.Finish(); }
    } finish{progress};
    if (key != nullptr) {
      CompressSealed(pack, archive, container, method, *key, progress);
    } else {
      const ObserverLoan loan(pack, progress);
      pack.Compress(archive, container, method);
    }
  }
  if (readError) std::rethrow_exception(readError);
  if (!verified) throw EProtectError(ProtectFault::VerifyFailed);
}

bool IsCompressionOf(const std::filesystem::path& candidate, const std::filesystem::path& archive,
                     std::string_view password) {
  if (platform::KindOfEntry(candidate) != platform::EntryKind::PlainFile) return false;
  try {
    FileStream source(candidate, FileStream::Mode::Read);
    const std::int64_t size = source.Size();
    const bool sealed = IsSealedFile(candidate);
    if (sealed && size < static_cast<std::int64_t>(kSealHeaderSize + kSealTagSize)) {
      return true;  // stopped before its key check was whole: not one byte of contents yet
    }
    if (!sealed && size < static_cast<std::int64_t>(SealIdentifier().size()) &&
        !IsContainerFile(candidate)) {
      // Stopped before the identifier was whole: not one byte of contents yet.
      return BeginsWithPrefixOf(candidate, IdentifierBytes(LzrwIdentifier)) ||
             BeginsWithPrefixOf(candidate, IdentifierBytes(LzhIdentifier)) ||
             BeginsWithPrefixOf(candidate, SealIdentifier());
    }
    if (!sealed && !IsContainerFile(candidate)) return false;
    ComparingStream comparison(archive);
    TZarLZ decoder;
    std::optional<SealKey> key;
    if (sealed) {
      FileStream headerSource(candidate, FileStream::Mode::Read);
      key.emplace(SealKey::ForContainer(password, ReadSealHeader(headerSource)));
    }
    try {
      return ReadThrough(source, key ? &*key : nullptr, [&](ByteStream& legacy) {
        decoder.Decompress(legacy, comparison);
        return comparison.MatchedAll();
      });
    } catch (const ELzrw1Exception&) {
      // Cut short, as a compressor stopped halfway leaves it: what it holds must be the
      // archive's beginning.
      return comparison.MatchedSoFar();
    } catch (const ESealError&) {
      // Cut short within a chunk: what authenticated before it must be the archive's beginning.
      return comparison.MatchedSoFar();
    }
  } catch (const platform::EInOutError&) {
    return false;
  } catch (const ESealError&) {
    return false;
  }
}

bool FolderHoldsArchive(const std::filesystem::path& folder, const std::filesystem::path& archive) {
  try {
    const std::vector<ArchiveEntry> entries = ReadArchiveDirectory(archive, true);
    platform::File in = platform::File::OpenRead(archive);
    const std::int64_t archiveSize = in.Size();
    std::int64_t position = DataAreaStart(entries.size());
    in.Seek(position);
    return std::ranges::all_of(entries, [&](const ArchiveEntry& entry) {
      const auto available = static_cast<std::uint32_t>(
          std::clamp<std::int64_t>(archiveSize - position, 0, entry.size));
      position += entry.size;
      return HoldsArchivedBytes(in, folder / platform::PathFromUtf8(entry.name), entry.size,
                                available);
    });
  } catch (const platform::EInOutError& error) {
    // Cut short within its header or directory, the archive holds no byte of any file.
    return error.ErrorNumber() == platform::io_error::kReadBeyondEnd;
  } catch (const EArchiveError&) {
    return false;
  }
}

}  // namespace kestravuna
