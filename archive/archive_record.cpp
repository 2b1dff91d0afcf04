#include "archive/archive_record.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/folder_listing.h"

namespace kestravuna {

namespace {

// Field offsets of the serialised record.
constexpr std::size_t kNameLengthAt = 0;
constexpr std::size_t kNameAt = 1;
constexpr std::size_t kSystemAt = 256;
constexpr std::size_t kHiddenAt = 257;
constexpr std::size_t kArchiveAt = 258;
constexpr std::size_t kReadOnlyAt = 259;
constexpr std::size_t kDirectoryAt = 260;
constexpr std::size_t kCountAt = 264;
constexpr std::size_t kSecondCountAt = 268;
constexpr std::size_t kOffsetAt = 272;

void PutInt32(std::span<std::uint8_t, kArchiveRecordSize> bytes, std::size_t at,
              std::int32_t value) noexcept {
  platform::StoreLe32(bytes.subspan(at).first<4>(), static_cast<std::uint32_t>(value));
}

std::int32_t GetInt32(std::span<const std::uint8_t, kArchiveRecordSize> bytes,
                      std::size_t at) noexcept {
  return static_cast<std::int32_t>(platform::LoadLe32(bytes.subspan(at).first<4>()));
}

std::uint8_t FlagFor(std::uint32_t attributes, std::uint32_t bit) noexcept {
  return (attributes & bit) != 0 ? 1 : 0;
}

// A flag byte other than 1 counts as clear, whatever the writer put there.
std::uint32_t BitFor(std::uint8_t flag, std::uint32_t bit) noexcept { return flag == 1 ? bit : 0; }

}  // namespace

std::string_view ArchiveRecord::Name() const noexcept {
  return {reinterpret_cast<const char*>(name.data()), nameLength};
}

void ArchiveRecord::SetName(std::string_view codePageName) noexcept {
  const std::size_t length = std::min(codePageName.size(), kArchiveNameCapacity);
  std::copy_n(codePageName.begin(), length, name.begin());
  nameLength = static_cast<std::uint8_t>(length);
}

void ArchiveRecord::SetFlags(std::uint32_t attributes) noexcept {
  namespace attr = platform::attr;
  systemFlag = FlagFor(attributes, attr::kSystem);
  hiddenFlag = FlagFor(attributes, attr::kHidden);
  archiveFlag = FlagFor(attributes, attr::kArchive);
  readOnlyFlag = FlagFor(attributes, attr::kReadOnly);
  directoryFlag = FlagFor(attributes, attr::kDirectory);
}

std::uint32_t ArchiveRecord::Attributes() const noexcept {
  namespace attr = platform::attr;
  return BitFor(archiveFlag, attr::kArchive) | BitFor(systemFlag, attr::kSystem) |
         BitFor(hiddenFlag, attr::kHidden) | BitFor(readOnlyFlag, attr::kReadOnly);
}

std::size_t ArchiveRecord::DirectoryCount() const noexcept {
  return (static_cast<std::uint32_t>(count) + static_cast<std::uint32_t>(secondCount)) & 0xFF;
}

std::array<std::uint8_t, kArchiveRecordSize> ArchiveRecord::Serialize() const noexcept {
  std::array<std::uint8_t, kArchiveRecordSize> bytes{};
  bytes[kNameLengthAt] = nameLength;
  std::copy(name.begin(), name.end(), bytes.begin() + kNameAt);
  bytes[kSystemAt] = systemFlag;
  bytes[kHiddenAt] = hiddenFlag;
  bytes[kArchiveAt] = archiveFlag;
  bytes[kReadOnlyAt] = readOnlyFlag;
  bytes[kDirectoryAt] = directoryFlag;
  PutInt32(bytes, kCountAt, count);
  PutInt32(bytes, kSecondCountAt, secondCount);
  PutInt32(bytes, kOffsetAt, offset);
  return bytes;
}

ArchiveRecord ArchiveRecord::Parse(
    std::span<const std::uint8_t, kArchiveRecordSize> bytes) noexcept {
  ArchiveRecord record;
  record.nameLength = bytes[kNameLengthAt];
  std::copy_n(bytes.begin() + kNameAt, kArchiveNameCapacity, record.name.begin());
  record.systemFlag = bytes[kSystemAt];
  record.hiddenFlag = bytes[kHiddenAt];
  record.archiveFlag = bytes[kArchiveAt];
  record.readOnlyFlag = bytes[kReadOnlyAt];
  record.directoryFlag = bytes[kDirectoryAt];
  record.count = GetInt32(bytes, kCountAt);
  record.secondCount = GetInt32(bytes, kSecondCountAt);
  record.offset = GetInt32(bytes, kOffsetAt);
  return record;
}

std::int64_t DataAreaStart(std::size_t count) noexcept {
  return static_cast<std::int64_t>(kArchiveRecordSize * ((count & 0xFF) + 1));
}

ArchiveRecord MakeArchiveHeader(std::size_t count) noexcept {
  ArchiveRecord header;
  header.SetName(kArchiveIdentification);
  header.count = static_cast<std::int32_t>(count);
  header.offset = static_cast<std::int32_t>(DataAreaStart(count));
  return header;
}

std::array<std::uint8_t, 1 + kArchiveIdentification.size()> ArchiveBeginning() noexcept {
  const auto header = MakeArchiveHeader(0).Serialize();
  std::array<std::uint8_t, 1 + kArchiveIdentification.size()> beginning{};
  std::copy_n(header.begin(), beginning.size(), beginning.begin());
  return beginning;
}

}  // namespace kestravuna
