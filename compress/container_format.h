// The compressed container, as TZarLZ writes it. All integers little-endian:
//   0  4  identifier: LzrwIdentifier or LzhIdentifier
//   4  4  uncompressed size, signed 32-bit
//   8  .. body: LZRW1/KH blocks, each a 16-bit length L and L bytes of block data, every block
//         but the last encoding 32,768 source bytes; or the LZH code stream without framing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace kestravuna {

inline constexpr std::uint32_t LzrwIdentifier = 0x4C5A5257;  // bytes 57 52 5A 4C, "WRZL"
inline constexpr std::uint32_t LzhIdentifier = 0x4C5A4821;   // bytes 21 48 5A 4C, "!HZL"
inline constexpr std::size_t kContainerFieldSize = 4;        // identifier, size field
inline constexpr std::size_t kContainerHeaderSize = 2 * kContainerFieldSize;

constexpr bool IsContainerIdentifier(std::uint32_t identifier) noexcept {
  return identifier == LzrwIdentifier || identifier == LzhIdentifier;
}

// The first field of a container as stored.
std::uint32_t ContainerIdentifier(
    std::span<const std::uint8_t, kContainerFieldSize> field) noexcept;
// The uncompressed size of a container's second field.
std::int32_t ContainerSize(std::span<const std::uint8_t, kContainerFieldSize> field) noexcept;

// Whether the plain file `file` begins with a container identifier. False for a plain archive,
// a file too short to hold an identifier, a missing file and anything that is not a plain file.
bool IsContainerFile(const std::filesystem::path& file);

}  // namespace kestravuna
