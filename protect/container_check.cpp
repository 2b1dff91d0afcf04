#include "protect/container_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "archive/archive_error.h"
#include "archive/archive_record.h"
#include "archive/unpack_archive.h"
#include "compress/byte_stream.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "protect/password_record.h"
#include "protect/protect_error.h"

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

 private:
  platform::File expected_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t position_ = 0;
  bool differs_ = false;
};

// Lends two streams to the component for one run and takes them back on every path, so it
// never keeps pointers to streams that are gone.
class StreamLoan {
 public:
  StreamLoan(TZarLZ& pack, ByteStream& input, ByteStream& output) : pack_(pack) {
    pack_.UseStream = true;
    pack_.InputStream = &input;
    pack_.OutputStream = &output;
  }
  ~StreamLoan() {
    pack_.UseStream = false;
    pack_.InputStream = nullptr;
    pack_.OutputStream = nullptr;
  }
  StreamLoan(const StreamLoan&) = delete;
  StreamLoan& operator=(const StreamLoan&) = delete;

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

}  // namespace

bool BeginsLikeArchive(const std::filesystem::path& file) {
  const auto header = MakeArchiveHeader(0).Serialize();
  return BeginsWithPrefixOf(file, std::span(header).first(1 + kArchiveIdentification.size()));
}

bool IsMissingOrOwnFile(const std::filesystem::path& file) {
  switch (platform::KindOfEntry(file)) {
    case platform::EntryKind::Missing:
      return true;
    case platform::EntryKind::PlainFile:
      return IsContainerFile(file) || BeginsLikeArchive(file) ||
             BeginsWithPrefixOf(file, PasswordRecordIdentification());
    case platform::EntryKind::Other:
      break;
  }
  return false;  // a link, folder or FIFO is never the program's own
}

void VerifyContainer(TZarLZ& pack, const std::filesystem::path& container,
                     const std::filesystem::path& archive) {
  FileStream source(container, FileStream::Mode::Read);
  if (!source.IsOpen()) throw EProtectError(ProtectFault::VerifyFailed);
  ComparingStream comparison(archive);
  pack.Visible = false;
  try {
    StreamLoan loan(pack, source, comparison);
    pack.Decompress();
  } catch (const ELzrw1Exception&) {
    // A write refused by the comparison and a container the decoder cannot read alike.
    throw EProtectError(ProtectFault::VerifyFailed);
  }
  if (!comparison.MatchedAll()) throw EProtectError(ProtectFault::VerifyFailed);
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
      return HoldsArchivedBytes(in, folder / entry.name, entry.size, available);
    });
  } catch (const platform::EInOutError& error) {
    // Cut short within its header or directory, the archive holds no byte of any file.
    return error.ErrorNumber() == platform::io_error::kReadBeyondEnd;
  } catch (const EArchiveError&) {
    return false;
  }
}

}  // namespace kestravuna
