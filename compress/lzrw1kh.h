// The LZRW1/KH block codec: one buffer of at most 32,768 bytes becomes one self-describing
// block and back. Single-pass LZ77 with one hash candidate per position, 12-bit offsets,
// 4-bit lengths, 16-bit control words stored high byte first, and a run item for long runs
// of one byte value. A block that would grow is stored verbatim behind a flag byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kestravuna {

// The largest source one call compresses; the container feeds the codec in chunks of this size.
inline constexpr std::size_t kLzrw1KhMaxSource = 32768;
// Flag byte 0 of a block.
inline constexpr std::uint8_t kLzrw1KhCompressedFlag = 0x40;
inline constexpr std::uint8_t kLzrw1KhStoredFlag = 0x80;
// Room the encoder needs behind the source size: it notices growth only after the item that
// passed the source size, which may be a control word (2 bytes) plus a run item (4 bytes).
inline constexpr std::size_t kLzrw1KhDestSlack = 6;
// The longest block: a stored 32,768-byte source behind its flag byte.
inline constexpr std::size_t kLzrw1KhMaxBlock = kLzrw1KhMaxSource + 1;

// The precomputed table indices of one source, with room for the last 16-wide step.
inline constexpr std::size_t kLzrw1KhIndexSlots = kLzrw1KhMaxSource + 16;

// The encoder's working memory, about 70 KB, owned by the caller: the hash table of 4,096
// recent positions and the table index of every position of the source. Compressions on
// separate states never meet; one state serves one compression at a time.
struct Lzrw1KhState {
  std::array<std::int16_t, 4096> hashTable;
  std::array<std::uint16_t, kLzrw1KhIndexSlots> indexAt;
};

// Compresses source (at most kLzrw1KhMaxSource bytes) into dest and returns the block length,
// 1 to source.size() + 1. dest must hold at least source.size() + kLzrw1KhDestSlack bytes;
// bytes of dest behind the returned length may have been overwritten. Throws
// std::invalid_argument when either size is outside these limits.
std::size_t Lzrw1KhCompress(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest,
                            Lzrw1KhState& state);

// Decodes one block into dest and returns the number of bytes produced. A block shorter than
// 2 bytes gives 0. Returns std::nullopt for a block that is corrupt: a copy reaching before
// the start of the output, output beyond dest.size(), or an item cut off by the block end.
// Never reads outside block nor writes outside dest; bytes of dest behind the returned count
// may have been overwritten (the decoder copies in wide steps where dest has room).
std::optional<std::size_t> Lzrw1KhDecompress(std::span<const std::uint8_t> block,
                                             std::span<std::uint8_t> dest);

}  // namespace kestravuna
