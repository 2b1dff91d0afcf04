// Byte buffers of the tests: one type, the bytes of a text, one pseudo-random sequence, and
// buffers joined.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestravuna::testing {

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

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace kestravuna::testing
