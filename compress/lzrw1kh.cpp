// LZRW1/KH block codec. Reads top to bottom: format constants, byte helpers, the shared hash
// table, the encoder, the decoder.
//
// Every byte the encoder writes is the one the format's algorithm gives (containers written by
// other programs of the format must decode, and ours must decode there); the speed comes only
// from doing the same decisions with wider loads and fewer branches.
#include "compress/lzrw1kh.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <stdexcept>

#include "platform/byte_order.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTRAVUNA_LZRW1KH_SSE2 1
#endif

namespace kestravuna {
namespace {

// ---------------------------------------------------------------------------------------------
// Format constants

constexpr std::size_t kItemsPerGroup = 16;  // one control word describes 16 items
constexpr std::size_t kMinMatch = 3;        // a copy item stores length - 3 in 4 bits
constexpr std::size_t kMaxMatch = 18;       // 15 + 3
constexpr std::size_t kMaxOffset = 4095;    // 12 bits; offset 0 marks a run item instead
constexpr std::size_t kMinRun = 16;         // shorter runs are left to literals and copies
constexpr std::size_t kMaxRun = 4095;       // the encoder's cap; the 12-bit field allows 4,111
constexpr std::size_t kHashBits = 12;       // 4,096 table entries
constexpr std::uint32_t kHashMultiplier = 40543;
// An entry no position has been entered into yet. The algorithm marks it -1 and tests it
// apart; any value at least 4,096 below every position fails the offset test on its own.
constexpr std::int16_t kEmpty = -4096;
constexpr std::size_t kHeaderSize = 3;  // flag byte and the first control word

// ---------------------------------------------------------------------------------------------
// Byte helpers. Eight bytes are read as one little-endian number (from the platform's byte
// order helpers, which compile to one load), so that "first differing byte" is a count of
// trailing zero bits. The items' own fields are high byte first, unlike every other field of
// the program's files, and have their helpers here.

inline std::uint64_t Load64Le(const std::uint8_t* p) {
  return platform::LoadLe32(std::span<const std::uint8_t, 4>(p, 4)) |
         std::uint64_t{platform::LoadLe32(std::span<const std::uint8_t, 4>(p + 4, 4))} << 32;
}

inline void Copy8(std::uint8_t* to, const std::uint8_t* from) {
  std::uint64_t v;
  std::memcpy(&v, from, sizeof v);
  std::memcpy(to, &v, sizeof v);
}

inline void Copy16(std::uint8_t* to, const std::uint8_t* from) {
  std::uint8_t v[16];
  std::memcpy(v, from, sizeof v);
  std::memcpy(to, v, sizeof v);
}

inline void StoreBe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t LoadBe16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

// ---------------------------------------------------------------------------------------------
// The hash table and the precomputed indices live in the caller's Lzrw1KhState.

static_assert(std::tuple_size_v<decltype(Lzrw1KhState::hashTable)> == std::size_t{1} << kHashBits);

// Table index of the three bytes a, b, c at a position. The product stays below 2^32.
inline std::size_t HashIndex(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  const std::uint32_t h = (((a << 4) ^ b) << 4) ^ c;  // below 65,536
  return ((kHashMultiplier * h) >> 4) & ((std::uint32_t{1} << kHashBits) - 1);
}

// The table index of every position of the fast region, computed ahead sixteen at a time:
// the index depends only on the source bytes, and bits 4..15 of the product are those of its
// low 16 bits, so 16-bit lanes give the same values.

// Fills indexAt[0 .. count) (rounded up to 16); reads src below count + 17, which the caller
// guarantees to lie inside the source.
void ComputeIndices(const std::uint8_t* src, std::size_t count,
                    std::array<std::uint16_t, kLzrw1KhIndexSlots>& indexAt) {
#ifdef KESTRAVUNA_LZRW1KH_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i multiplier = _mm_set1_epi16(static_cast<short>(kHashMultiplier));
  for (std::size_t i = 0; i < count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 1));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 2));
    const auto indices = [&](__m128i a16, __m128i b16, __m128i c16) {
      const __m128i h =
          _mm_xor_si128(_mm_xor_si128(_mm_slli_epi16(a16, 8), _mm_slli_epi16(b16, 4)), c16);
      return _mm_srli_epi16(_mm_mullo_epi16(h, multiplier), 4);
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(indexAt.data() + i),
                     indices(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                             _mm_unpacklo_epi8(c, zero)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(indexAt.data() + i + 8),
                     indices(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                             _mm_unpackhi_epi8(c, zero)));
  }
#else
  for (std::size_t i = 0; i < count; ++i) {
    indexAt[i] = static_cast<std::uint16_t>(HashIndex(src[i], src[i + 1], src[i + 2]));
  }
#endif
}

// Length of the run of src[0] starting at src, at most limit bytes (1 <= limit).
inline std::size_t RunLength(const std::uint8_t* src, std::size_t limit) {
  const std::uint64_t pattern = std::uint64_t{src[0]} * 0x0101010101010101u;
  std::size_t length = 1;
  while (length + 8 <= limit) {
    const std::uint64_t diff = Load64Le(src + length) ^ pattern;
    if (diff != 0) return length + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
    length += 8;
  }
  while (length < limit && src[length] == src[0]) ++length;
  return length;
}

// The encoder's output side: items go into groups of 16 behind their control word.
class BlockWriter {
 public:
  explicit BlockWriter(std::uint8_t* out) : out_(out) { out_[0] = kLzrw1KhCompressedFlag; }

  std::size_t Size() const { return y_; }

  // Called before each item: a full group gets its control word and the next one its place.
  void StartItem() {
    if (items_ == kItemsPerGroup) {
      StoreBe16(out_ + controlAt_, control_);
      controlAt_ = y_;
      y_ += 2;
      items_ = 0;
    }
  }
  void Literal(std::uint8_t value) {
    out_[y_++] = value;
    AddItem(0);
  }
  void Copy(std::size_t offset, std::size_t length) {
    StoreBe16(out_ + y_, static_cast<std::uint32_t>((offset << 4) + (length - kMinMatch)));
    y_ += 2;
    AddItem(1);
  }
  void Run(std::size_t count, std::uint8_t value) {
    const std::size_t field = count - kMinRun;
    out_[y_] = 0;
    out_[y_ + 1] = static_cast<std::uint8_t>(field >> 8);
    out_[y_ + 2] = static_cast<std::uint8_t>(field);
    out_[y_ + 3] = value;
    y_ += 4;
    AddItem(1);
  }
  // The last control word, its unused low bits zero.
  void Finish() {
    StoreBe16(out_ + controlAt_, items_ == 0 ? 0 : control_ << (kItemsPerGroup - items_));
  }

 private:
  // The format's encoder never clears the control word between groups; its old bits leave
  // through the top as items are shifted in and the final shift drops the rest, so keeping
  // only the low 16 bits (StoreBe16 drops the others) gives the same bytes.
  void AddItem(std::uint32_t bit) {
    control_ = (control_ << 1) | bit;
    ++items_;
  }

  std::uint8_t* out_;
  std::size_t y_ = kHeaderSize;  // output position
  std::size_t controlAt_ = 1;    // where the current control word goes
  std::size_t items_ = 0;        // items in the current group
  std::uint32_t control_ = 0;
};

// One step at a position with at least kMaxMatch bytes left, where every load of 8 or 16
// bytes stays inside the source and state.indexAt holds the table index. Returns the bytes
// consumed.
inline std::size_t FastStep(Lzrw1KhState& state, const std::uint8_t* src, std::size_t x,
                            std::size_t n, BlockWriter& writer) {
  const std::uint8_t* const here = src + x;
  const std::uint64_t first = Load64Le(here);

  // A run is tested before the hash lookup, so 16 or more equal bytes always become a run
  // item even where a copy would do. Only whether it reaches 16 matters here, so the usual
  // case costs one compare: bytes 0..7 equal to bytes 1..8 means bytes 0..8 are all equal.
  if (first == Load64Le(here + 1) && first == Load64Le(here + 8)) {
    const std::size_t size = RunLength(here, std::min(n - x, kMaxRun));
    writer.Run(size, here[0]);
    return size;
  }

  std::int16_t& slot = state.hashTable[state.indexAt[x]];
  const std::ptrdiff_t candidate = slot;
  slot = static_cast<std::int16_t>(x);

  // Without branching on the candidate, which the data cannot predict: an empty or too distant
  // one is compared with the position itself and forced to differ in its first byte.
  const auto offset = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(x) - candidate);
  const std::uint64_t unusable = offset > kMaxOffset;
  const std::uint8_t* const from = here - (offset & (unusable - 1));
  std::uint64_t diff = (first ^ Load64Le(from)) | unusable;
  if ((diff & 0xFFFFFF) != 0) {
    writer.Literal(static_cast<std::uint8_t>(first));
    return 1;
  }
  std::size_t length = 0;
  if (diff == 0) {
    diff = Load64Le(here + 8) ^ Load64Le(from + 8);
    length = 8;
    if (diff == 0) {
      length = 16;
      while (length < kMaxMatch && here[length] == from[length]) ++length;
    }
  }
  if (diff != 0) length += static_cast<std::size_t>(std::countr_zero(diff)) / 8;
  writer.Copy(offset, length);
  return length;
}

// The match search at position x of an n-byte source, which has at least 3 bytes left: the one
// candidate the table holds for the next three bytes is compared (up to 18 bytes, never past
// the end), and x takes its place in the table whether it matches or not. A match needs 3
// bytes and an offset of at most 4,095. FastStep does the same with wide loads.
bool GetMatch(Lzrw1KhState& state, const std::uint8_t* src, std::size_t x, std::size_t n,
              std::size_t& length, std::size_t& offset) {
  const std::uint8_t* const here = src + x;
  std::int16_t& slot = state.hashTable[HashIndex(here[0], here[1], here[2])];
  const std::ptrdiff_t candidate = slot;
  slot = static_cast<std::int16_t>(x);
  offset = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(x) - candidate);
  if (offset > kMaxOffset) return false;
  const std::uint8_t* const from = here - offset;
  const std::size_t limit = std::min(n - x, kMaxMatch);
  length = 0;
  while (length < limit && here[length] == from[length]) ++length;
  return length >= kMinMatch;
}

// One step near the source end, byte by byte, exactly as the algorithm reads.
inline std::size_t CarefulStep(Lzrw1KhState& state, const std::uint8_t* src, std::size_t x,
                               std::size_t n, BlockWriter& writer) {
  const std::uint8_t* const here = src + x;
  const std::size_t left = n - x;
  const std::size_t size = RunLength(here, std::min(left, kMaxRun));
  if (size >= kMinRun) {
    writer.Run(size, here[0]);
    return size;
  }
  // The last two positions can never start a match of 3 bytes and their hash would read past
  // the source, so they are plain literals. The format's encoder hashes the bytes behind the
  // end there, to no visible effect: whatever the table holds, the match stops at the end.
  std::size_t length = 0;
  std::size_t offset = 0;
  if (left >= kMinMatch && GetMatch(state, src, x, n, length, offset)) {
    writer.Copy(offset, length);
    return length;
  }
  writer.Literal(here[0]);
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Encoder

std::size_t Lzrw1KhCompress(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest,
                            Lzrw1KhState& state) {
  const std::size_t n = source.size();
  if (n > kLzrw1KhMaxSource || dest.size() < n + kLzrw1KhDestSlack) {
    throw std::invalid_argument(
        "Lzrw1KhCompress: source above 32,768 bytes or destination too small");
  }
  state.hashTable.fill(kEmpty);

  const std::uint8_t* const src = source.data();
  BlockWriter writer(dest.data());
  std::size_t x = 0;
  // The loop ends as soon as the output has grown past the source size; the last item may
  // pass it by up to 6 bytes, which dest has room for.
  // The fast steps take the positions with x + 18 <= n; computing their indices reads the
  // source below fastEnd + 17 = n.
  const std::size_t fastEnd = n >= kMaxMatch ? n - kMaxMatch + 1 : 0;
  ComputeIndices(src, fastEnd, state.indexAt);
  while (x < fastEnd && writer.Size() <= n) {
    writer.StartItem();
    x += FastStep(state, src, x, n, writer);
  }
  while (x < n && writer.Size() <= n) {
    writer.StartItem();
    x += CarefulStep(state, src, x, n, writer);
  }
  writer.Finish();

  if (writer.Size() > n) {
    // Would have grown: store the source behind the flag byte.
    dest[0] = kLzrw1KhStoredFlag;
    std::copy(source.begin(), source.end(), dest.begin() + 1);
    return n + 1;
  }
  return writer.Size();
}

// ---------------------------------------------------------------------------------------------
// Decoder
//
// A group's control word sits in the top 16 bits of a 32-bit value with a marker bit below
// it: countl_zero then gives the number of literal items before the next copy or run item,
// and once the marker has been shifted out the value is 0. The bits of the group not yet
// decoded are 31 - countr_zero(control).

namespace {

constexpr std::uint32_t kGroupMarker = 0x8000;
// A group with this much block left holds all its 16 items (at most 4 bytes each), and a
// 16-byte literal load from any of its items stays inside the block.
constexpr std::ptrdiff_t kFastGroupInput = 16 * 4 + 16;
// A group with this much destination left has room for its copies and literals (at most 18
// bytes per item) plus the 24 bytes a wide copy may write; runs are checked one by one.
constexpr std::ptrdiff_t kFastGroupOutput = 16 * 18 + 24;

struct DecodeState {
  const std::uint8_t* ip;
  const std::uint8_t* iend;
  std::uint8_t* ostart;
  std::uint8_t* op;
  std::uint8_t* oend;
};

// Repeats count bytes that start offset bytes back; the caller has checked both ends.
inline void CopyMatch(std::uint8_t* op, std::size_t offset, std::size_t count, bool wide) {
  const std::uint8_t* const from = op - offset;
  if (offset >= 8 && wide) {
    // Eight bytes at a time: with offset >= 8 each step reads only bytes already written, so
    // an overlapping copy still repeats its pattern. Writes 24 bytes whatever count is.
    Copy8(op, from);
    Copy8(op + 8, from + 8);
    Copy8(op + 16, from + 16);
  } else if (offset == 1) {
    std::memset(op, from[0], count);
  } else {
    for (std::size_t k = 0; k < count; ++k) op[k] = from[k];
  }
}

// Decodes a whole group where the block holds all its items and the destination has room for
// all but runs, without a check per item. Returns the item bits left when a run leaves too
// little room to go on this way (the careful loop finishes the group), 0 when done, or -1 for
// a corrupt item.
inline int DecodeGroupFast(DecodeState& s, std::uint32_t& control) {
  for (;;) {
    const int literals = std::countl_zero(control);  // the marker keeps control nonzero
    Copy16(s.op, s.ip);
    s.ip += literals;
    s.op += literals;
    control = (control << literals) << 1;
    if (control == 0) return 0;  // the marker itself: the group is done

    const std::uint8_t* const ip = s.ip;
    const std::size_t offset = (std::size_t{ip[0]} << 4) | (ip[1] >> 4);
    if (offset != 0) {
      const std::size_t count = (ip[1] & 0x0F) + kMinMatch;
      if (offset > static_cast<std::size_t>(s.op - s.ostart)) return -1;
      CopyMatch(s.op, offset, count, true);
      s.op += count;
      s.ip += 2;
      continue;
    }
    const std::size_t count = ((std::size_t{ip[1]} << 8) | ip[2]) + kMinRun;
    if (static_cast<std::size_t>(s.oend - s.op) < count) return -1;
    std::memset(s.op, ip[3], count);
    s.op += count;
    s.ip += 4;
    if (s.oend - s.op < kFastGroupOutput) return 31 - std::countr_zero(control);
  }
}

// Decodes up to `bits` items of a group with every length checked against both ends. Returns
// false for a corrupt item.
inline bool DecodeGroupCareful(DecodeState& s, std::uint32_t control, int bits) {
  while (bits != 0 && s.ip < s.iend) {
    const std::size_t inputLeft = static_cast<std::size_t>(s.iend - s.ip);
    const std::size_t room = static_cast<std::size_t>(s.oend - s.op);
    if ((control & 0x80000000u) == 0) {
      // A stretch of literal items, up to the group's end and the block's end, in one copy.
      const std::size_t count = std::min({static_cast<std::size_t>(std::countl_zero(control)),
                                          static_cast<std::size_t>(bits), inputLeft});
      if (room < count) return false;
      std::memcpy(s.op, s.ip, count);
      s.ip += count;
      s.op += count;
      control <<= count;  // count <= 16, so the shift stays inside 32 bits
      bits -= static_cast<int>(count);
      continue;
    }
    if (inputLeft < 2) return false;
    const std::size_t offset = (std::size_t{s.ip[0]} << 4) | (s.ip[1] >> 4);
    if (offset == 0) {
      // Run item: 0x00, count - 16 in 12 bits, value.
      if (inputLeft < 4) return false;
      const std::size_t count = ((std::size_t{s.ip[1]} << 8) | s.ip[2]) + kMinRun;
      if (room < count) return false;
      std::memset(s.op, s.ip[3], count);
      s.op += count;
      s.ip += 4;
    } else {
      const std::size_t count = (s.ip[1] & 0x0F) + kMinMatch;
      if (offset > static_cast<std::size_t>(s.op - s.ostart) || room < count) return false;
      CopyMatch(s.op, offset, count, room >= 24);
      s.op += count;
      s.ip += 2;
    }
    control <<= 1;
    --bits;
  }
  return true;
}

}  // namespace

std::optional<std::size_t> Lzrw1KhDecompress(std::span<const std::uint8_t> block,
                                             std::span<std::uint8_t> dest) {
  const std::size_t n = block.size();
  if (n < 2) return 0;
  if (block[0] == kLzrw1KhStoredFlag) {
    if (n - 1 > dest.size()) return std::nullopt;
    std::copy(block.begin() + 1, block.end(), dest.begin());
    return n - 1;
  }
  // Any other flag is read as compressed. A 2-byte block has no room for an item.
  if (n < kHeaderSize) return 0;

  DecodeState s{block.data() + 1, block.data() + n, dest.data(), dest.data(),
                dest.data() + dest.size()};
  while (s.ip < s.iend) {
    if (s.iend - s.ip < 2) return std::nullopt;  // a control word cut in half
    std::uint32_t control = (LoadBe16(s.ip) << 16) | kGroupMarker;
    s.ip += 2;
    int bits = static_cast<int>(kItemsPerGroup);
    if (s.iend - s.ip >= kFastGroupInput && s.oend - s.op >= kFastGroupOutput) {
      bits = DecodeGroupFast(s, control);
      if (bits < 0) return std::nullopt;
    }
    if (bits != 0 && !DecodeGroupCareful(s, control, bits)) return std::nullopt;
  }
  return static_cast<std::size_t>(s.op - s.ostart);
}

}  // namespace kestravuna
