// The 276-byte record of the folder archive. The header and every directory record share
// this layout; it is serialised field by field (little-endian), never by casting a struct.
//
//   offset size field
//     0     1   name length L
//     1   255   name characters (bytes behind L carry no meaning)
//   256     1   system flag       (attribute 4)
//   257     1   hidden flag       (attribute 2)
//   258     1   archive flag      (attribute 32)
//   259     1   read-only flag    (attribute 1)
//   260     1   directory flag    (attribute 16)
//   261     3   padding, zero
//   264     4   count field       (header: number of directory records)
//   268     4   second count field
//   272     4   offset field      (header: start of the data area; entry: end of its data)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestravuna {

inline constexpr std::size_t kArchiveRecordSize = 276;
inline constexpr std::size_t kArchiveNameCapacity = 255;
// An archive holds at most this many files: readers keep only the low 8 bits of the count.
inline constexpr std::size_t kArchiveMaxFiles = 255;
// Offsets are signed 32-bit, so the whole archive must stay below 2^31 bytes.
inline constexpr std::int64_t kArchiveSizeLimit = std::int64_t{1} << 31;
// The header's name field identifies the archive.
inline constexpr std::string_view kArchiveIdentification = "Kestravuna";

struct ArchiveRecord {
  std::uint8_t nameLength = 0;
  std::array<std::uint8_t, kArchiveNameCapacity> name{};
  std::uint8_t systemFlag = 0;
  std::uint8_t hiddenFlag = 0;
  std::uint8_t archiveFlag = 0;
  std::uint8_t readOnlyFlag = 0;
  std::uint8_t directoryFlag = 0;
  std::int32_t count = 0;
  std::int32_t secondCount = 0;
  std::int32_t offset = 0;

  // The name in the 8-bit code page (bytes 1..L).
  std::string_view Name() const noexcept;
  // Stores up to 255 characters; the bytes of the field behind them keep what they held.
  void SetName(std::string_view codePageName) noexcept;

  // Sets each of the five flags exactly when its bit is in `attributes`.
  void SetFlags(std::uint32_t attributes) noexcept;
  // The attribute value a recreated file gets: 32*archive + 4*system + 2*hidden + 1*read-only,
  // where only a flag byte of exactly 1 counts as set. The directory flag is not used.
  std::uint32_t Attributes() const noexcept;

  // The header's record count: the low 8 bits of count plus second count.
  std::size_t DirectoryCount() const noexcept;

  std::array<std::uint8_t, kArchiveRecordSize> Serialize() const noexcept;
  static ArchiveRecord Parse(std::span<const std::uint8_t, kArchiveRecordSize> bytes) noexcept;
};

// Where the data area begins for `count` directory records (the count taken to 8 bits).
std::int64_t DataAreaStart(std::size_t count) noexcept;

// The header of an archive holding `count` files.
ArchiveRecord MakeArchiveHeader(std::size_t count) noexcept;

// The bytes every archive begins with, whatever it holds: the header's name length and the
// identification.
std::array<std::uint8_t, 1 + kArchiveIdentification.size()> ArchiveBeginning() noexcept;

}  // namespace kestravuna
