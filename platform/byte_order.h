// Little-endian integers, as every multi-byte field of the program's files stores them (the
// LZRW1/KH block items excepted, which the codec writes high byte first). Named helpers over
// byte spans, never casts of unaligned pointers.
#pragma once

#include <cstdint>
#include <span>

namespace kestravuna::platform {

inline std::uint16_t LoadLe16(std::span<const std::uint8_t, 2> bytes) noexcept {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t LoadLe32(std::span<const std::uint8_t, 4> bytes) noexcept {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void StoreLe16(std::span<std::uint8_t, 2> bytes, std::uint16_t value) noexcept {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreLe32(std::span<std::uint8_t, 4> bytes, std::uint32_t value) noexcept {
  for (std::uint8_t& byte : bytes) {
    byte = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace kestravuna::platform
