// Byte buffers of the tests: one type, the bytes of a text, one pseudo-random sequence,
// buffers joined, and a checksum.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna::test_support {

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline std::string TextOf(std::span<const std::uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// The same bytes for the same seed on every machine: data that compresses poorly and does not
// repeat within a copy buffer, so that a misplaced chunk shows.
inline Bytes RandomBytes(std::size_t size, std::uint32_t seed = 1) {
  std::mt19937 generator(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

// A checksum that pins long outputs in a test (64-bit FNV-1a).
inline std::uint64_t Fnv1a(std::span<const std::uint8_t> bytes) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001B3u;
  return hash;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace kestravuna::test_support
