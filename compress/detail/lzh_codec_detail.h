// The LZH codec's inner parts and the definitions of LzhEncode and LzhDecode (declared in
// compress/lzh_codec.h, which includes this file; nothing else should). Reads top to bottom:
// format constants, model, match finder, position code, bit writer and reader, the Huffman
// threads, encoder, decoder. The parts that do not touch the callbacks (the Huffman model, the
// search trees, the work of the Huffman threads) are compiled in compress/lzh_codec.cpp.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "compress/detail/block_worker.h"
#include "compress/lzh_codec.h"

namespace kestravuna {

namespace lzh_detail {

// -------------------------------------------------------------------------------------------
// Format constants

inline constexpr int kRingSize = 4096;  // window; positions are 12 bits
inline constexpr int kRingMask = kRingSize - 1;
inline constexpr int kLookAhead = 60;  // longest match and bytes compared per string
inline constexpr int kThreshold = 2;   // matches this short go out as literals
inline constexpr int kStartPosition = kRingSize - kLookAhead;  // 4036, first input position
inline constexpr std::uint8_t kInitialFill = 0x20;             // the window starts as 4036 blanks
// Positions 4096..4154 repeat 0..58 so that a string near the end of the window is compared
// without wrapping; 5 more bytes let the last 8-byte comparison step read past index 59.
inline constexpr int kRepeatArea = kLookAhead - 1;
inline constexpr int kRingStorage = kRingSize + kRepeatArea + 5;

inline constexpr int kSymbolCount = 256 + kLookAhead - kThreshold;  // 314: bytes, lengths 3..60
inline constexpr int kFirstLengthSymbol = 256 - kThreshold - 1;     // symbol = 253 + length
inline constexpr int kNodeCount = 2 * kSymbolCount - 1;             // 627
inline constexpr int kRoot = kNodeCount - 1;                        // 626
inline constexpr std::uint16_t kCountLimit = 0x8000;  // root count that forces a rebuild

// Longest Huffman code. The node array stays ordered by count with siblings side by side, so
// the tree is always a Huffman tree of its counts: going up from a leaf, each node weighs at
// least the sum of the two below it on the path, hence a code of d bits needs a root count of
// at least Fibonacci(d + 2). The root never exceeds 32768 < Fibonacci(24), so d <= 21. The bit
// reader and writer hold 57 bits at a time, which covers every code plus a position code.
inline constexpr int kMaxCodeLength = 21;

inline constexpr std::uint16_t kEmptyLink = kRingSize;  // 4096: no node; its parent slot
                                                        // absorbs writes through empty links
inline constexpr int kTreeRoots = kRingSize + 1;        // 4097 + b: root of strings starting b
inline constexpr int kLinkCount = kTreeRoots + 256;

// -------------------------------------------------------------------------------------------
// Adaptive Huffman model, shared by both directions. Nodes live in one array ordered by
// non-decreasing count; siblings occupy an even index and the odd one after it.

class HuffmanModel {
 public:
  // Node and leaf indices are below 941; unsigned, so that they widen to addresses for free.
  using NodeIndex = std::uint16_t;
  // The nodes one code passes, root side first.
  using Path = std::array<NodeIndex, kMaxCodeLength>;

  HuffmanModel();

  // The code of `symbol`, root side in the most significant of `length` low bits.
  struct Code {
    std::uint32_t bits;
    int length;
  };
  Code CodeOf(int symbol) const {
    std::uint32_t bits = 0;
    int length = 0;
    for (std::size_t node = parent_[kNodeCount + static_cast<std::size_t>(symbol)]; node != kRoot;
         node = parent_[node]) {
      bits |= static_cast<std::uint32_t>(node & 1) << length;
      ++length;
    }
    assert(length <= kMaxCodeLength);
    return {bits, length};
  }

  // Walks from the root along `bits`, read from the most significant bit down, to a leaf, and
  // records the nodes it passes for UpdateAlong. Two levels a step: the next node comes from
  // one load of the grandchildren table, so the chain of dependent loads is half as long as the
  // code.
  struct Decoded {
    int symbol;
    int length;
  };
  Decoded Decode(std::uint64_t bits, Path& path) const {
    std::size_t node = kRoot;  // an internal node: the walk chooses between its children
    int length = 0;
    for (;;) {
      assert(length < kMaxCodeLength);
      const std::size_t bit = bits >> 63;
      path[static_cast<std::size_t>(length)] = static_cast<NodeIndex>(child_[node] + bit);
      const std::size_t below = grandchildren_[node][bit];
      if (below >= kNodeCount) return {static_cast<int>(below) - kNodeCount, length + 1};
      assert(length + 1 < kMaxCodeLength);
      node = below + (bits >> 62 & 1);
      path[static_cast<std::size_t>(length + 1)] = static_cast<NodeIndex>(node);
      bits <<= 2;
      length += 2;
      if (child_[node] >= kNodeCount) return {child_[node] - kNodeCount, length};
    }
  }

  // Counts one occurrence of `symbol` and restores the order of the nodes.
  void Update(int symbol);
  // The same for the symbol whose code Decode just walked: `path` holds its `length` nodes,
  // root side first. Up to the first node that must move, the counts rise along the recorded
  // path, so the climb does not wait for each parent link.
  void UpdateAlong(const Path& path, int length, int symbol);

 private:
  void Rebuild();
  void CountUpFrom(std::size_t node);
  // Sets the grandchildren entries of every internal node from child_, after the tree is built.
  void RefreshGrandchildren();

  // Entries from 627 on: 0xFFFF sentinels, enough for a scan step of kScanStep past node 626.
  static constexpr int kScanStep = 8;
  std::array<std::uint16_t, kNodeCount + kScanStep> count_;
  // 0..626: parent of each node (0 for the root); 627 + s: the leaf holding symbol s.
  std::array<NodeIndex, kNodeCount + kSymbolCount> parent_;
  // Internal node: its first child (the second follows); leaf: 627 + its symbol.
  std::array<NodeIndex, kNodeCount> child_;
  // Internal node: child_ of each of its two children, kept in step with child_ by every
  // change, so that the decoder's walk goes two levels with one dependent load.
  std::array<std::array<NodeIndex, 2>, kNodeCount> grandchildren_{};
};

// -------------------------------------------------------------------------------------------
// The encoder's window with one binary search tree per first byte, giving for each new
// position the longest (and among those the nearest) earlier string.

class MatchFinder {
 public:
  MatchFinder();

  // Ring positions 4036..4159 start as 0: no input byte has reached them yet, so their content
  // only decides between equally good matches near the end of a short input.
  std::array<std::uint8_t, kRingStorage> ring{};

  // Puts the byte at ring position `s`, keeping the repeat area in step.
  void Store(int s, std::uint8_t byte) {
    const auto at = static_cast<std::size_t>(s);
    ring[at] = byte;
    if (s < kRepeatArea) ring[at + kRingSize] = byte;
  }

  // Adds position r to its tree. InsertAndMatch also records the best match for the string
  // at r in matchLength and matchPosition; the encoder needs it only for the last position it
  // adds before coding the next item.
  void Insert(int r);
  void InsertAndMatch(int r);
  void Delete(int p);

  int matchLength = 0;
  int matchPosition = 0;  // distance back minus one

 private:
  // One entry per ring position, then the 256 tree roots (which use only their right link).
  // The two links of a node sit side by side so that the side a search takes is an index, not
  // a branch; the parents are apart, since the descent never reads them. Positions are
  // unsigned, so that they widen to addresses for free.
  using Position = std::uint16_t;
  using Links = std::array<Position, 2>;
  static constexpr std::size_t kLeft = 0;
  static constexpr std::size_t kRight = 1;

  template <bool kFindMatch>
  void InsertNode(std::size_t r);
  static std::size_t LinkOf(const Links& links, std::size_t side);
  Position& Left(std::size_t p) { return links_[p][kLeft]; }
  Position& Right(std::size_t p) { return links_[p][kRight]; }
  Position& Parent(std::size_t p) { return parent_[p]; }
  // The link of p's parent that points to p.
  Position& LinkFromParent(std::size_t p) {
    Links& parent = links_[Parent(p)];
    return parent[kRight] == p ? parent[kRight] : parent[kLeft];
  }

  std::array<Links, kLinkCount> links_;
  std::array<Position, kLinkCount> parent_;
};

// -------------------------------------------------------------------------------------------
// Position code: the upper 6 bits of a 12-bit position through a fixed canonical prefix code
// (3 to 8 bits, short codes for near positions), then the lower 6 bits plain.

struct PositionTables {
  std::array<std::uint8_t, 64> length{};     // code length by upper 6 bits
  std::array<std::uint8_t, 64> code{};       // code, left-aligned in 8 bits
  std::array<std::uint8_t, 256> upper{};     // upper 6 bits by the next 8 stream bits
  std::array<std::uint8_t, 256> lengthOf{};  // code length by the next 8 stream bits
};

inline constexpr PositionTables kPositionTables = [] {
  // Groups of consecutive upper values sharing one code length.
  constexpr std::array<std::array<int, 2>, 6> kGroups{
      {{1, 3}, {3, 4}, {8, 5}, {12, 6}, {24, 7}, {16, 8}}};
  PositionTables tables;
  std::size_t upper = 0;
  std::size_t code = 0;
  for (const auto& [count, length] : kGroups) {
    for (int n = 0; n < count; ++n, ++upper) {
      tables.length[upper] = static_cast<std::uint8_t>(length);
      tables.code[upper] = static_cast<std::uint8_t>(code);
      const std::size_t step = std::size_t{1} << (8 - length);
      for (std::size_t b = code; b < code + step; ++b) {
        tables.upper[b] = static_cast<std::uint8_t>(upper);
        tables.lengthOf[b] = static_cast<std::uint8_t>(length);
      }
      code += step;
    }
  }
  return tables;
}();

// -------------------------------------------------------------------------------------------
// Bit writer: codes go out most significant bit first, each byte as soon as it is complete.

template <class WriteByte>
class BitWriter {
 public:
  explicit BitWriter(WriteByte& writeByte) : write_(writeByte) {}

  // Appends the low `length` bits of `bits`; length + 7 pending bits fit the accumulator.
  void Put(std::uint32_t bits, int length) {
    pending_ |= static_cast<std::uint64_t>(bits) << (64 - count_ - length);
    count_ += length;
    while (count_ >= 8) {
      Send(static_cast<std::uint8_t>(pending_ >> 56));
      pending_ <<= 8;
      count_ -= 8;
    }
  }

  // Sends a partly filled last byte, its unused low bits zero.
  void Flush() {
    if (count_ > 0) Send(static_cast<std::uint8_t>(pending_ >> 56));
    pending_ = 0;
    count_ = 0;
  }

 private:
  void Send(std::uint8_t byte) { write_(byte); }

  WriteByte& write_;
  std::uint64_t pending_ = 0;  // pending bits, left-aligned
  int count_ = 0;
};

// -------------------------------------------------------------------------------------------
// Bit reader. Holds up to 64 bits left-aligned and refills one callback byte at a time; past
// the end of the input it supplies zero bits for ever.

template <class ReadByte>
class BitReader {
 public:
  explicit BitReader(ReadByte& readByte) : read_(readByte) {}

  // At least this many bits are buffered after Refill: a longest code plus a position code.
  static constexpr int kGuaranteed = 57;
  static_assert(kMaxCodeLength + 14 <= kGuaranteed);

  void Refill() {
    while (count_ < kGuaranteed) {
      std::uint8_t byte = 0;
      if (!read_(byte)) byte = 0;
      bits_ |= static_cast<std::uint64_t>(byte) << (56 - count_);
      count_ += 8;
      ++fetched_;
    }
  }

  std::uint64_t Peek() const { return bits_; }
  void Skip(int length) {
    assert(length <= count_);
    bits_ <<= length;
    count_ -= length;
  }

  // Bits taken by the decoder so far, not counting those fetched ahead.
  std::uint64_t Used() const { return fetched_ * 8 - static_cast<std::uint64_t>(count_); }

 private:
  ReadByte& read_;
  std::uint64_t bits_ = 0;  // buffered bits, left-aligned, zero below the valid ones
  int count_ = 0;
  std::uint64_t fetched_ = 0;
};

// -------------------------------------------------------------------------------------------
// The Huffman threads

// Enough blocks in flight each way that a pause of one thread (a write waiting for the disk)
// does not stall the other.
inline constexpr std::size_t kBlocksInFlight = 8;

// An item of the LZ stream: a literal byte, or a match of kFirstLengthSymbol + its length at
// its position. Both directions hand items between the calling thread and the Huffman thread.
struct CodeItem {
  std::uint16_t symbol;    // a byte, or kFirstLengthSymbol + match length
  std::uint16_t position;  // for a match: distance back minus one
};
// Blocks large enough that handing them over costs little next to coding them.
inline constexpr std::size_t kItemsPerBlock = 16 * 1024;
inline constexpr std::size_t kBytesPerBlock = 8 * 1024;

// The encoder's Huffman thread: the match finder (on the calling thread) hands over its items
// in blocks; this thread codes them with the adaptive model and hands back the code bytes,
// which the calling thread writes. The model sees the items in the same order as on one
// thread, so the stream is the same to the bit.
class CoderThread {
 public:
  CoderThread() { block_.reserve(kItemsPerBlock); }

  // Adds an item; a full block goes to the thread, and code bytes ready meanwhile are written.
  template <class WriteByte>
  void Add(CodeItem item, WriteByte& writeByte) {
    block_.push_back(item);
    if (block_.size() == kItemsPerBlock) {
      bool done = false;
      while (!block_.empty()) Write(worker_.Exchange(&block_, done), writeByte);
      block_.reserve(kItemsPerBlock);
    }
  }

  // Codes the last items and writes every code byte, the last partial byte included.
  template <class WriteByte>
  void Finish(WriteByte& writeByte) {
    bool done = false;
    while (!block_.empty()) Write(worker_.Exchange(&block_, done), writeByte);
    worker_.CloseInput();
    while (!done) Write(worker_.Exchange(nullptr, done), writeByte);
  }

 private:
  using Worker = compress_detail::BlockWorker<CodeItem, std::uint8_t>;

  template <class WriteByte>
  static void Write(const Worker::OutBlock& bytes, WriteByte& writeByte) {
    for (const std::uint8_t byte : bytes) writeByte(byte);
  }
  // The thread's work: codes blocks until the input is closed and empty.
  void Code(Worker& worker);

  HuffmanModel model_;
  Worker::InBlock block_;
  Worker worker_{kBlocksInFlight,
                 [this](Worker& worker) { Code(worker); }};  // last: its thread uses the above
};

// The decoder's Huffman thread: the calling thread hands over the input in blocks; this thread
// reads the code bits, decodes and counts each symbol with the adaptive model and reads the
// position codes, and hands back items, which the calling thread turns into bytes. It stops
// once the items cover `size` bytes.
//
// Past the end of the input it goes on with zero bytes, as the single-threaded decoder does.
// The calling thread learnt of the end from one read that failed; for every further byte this
// thread takes past the end it sends kPastEndItem, so that the caller asks readByte once more
// for each, and readByte sees every read past the end that the decode makes.
class DecoderThread {
 public:
  using Worker = compress_detail::BlockWorker<std::uint8_t, CodeItem>;
  static constexpr std::uint16_t kPastEndItem = 0xFFFF;

  explicit DecoderThread(std::int64_t size) : size_(size) {}

  Worker& worker() { return worker_; }
  // Code bits the decode used; read once Exchange has said done.
  std::uint64_t UsedBits() const { return usedBits_; }

 private:
  // The thread's work.
  void Decode(Worker& worker);

  const std::int64_t size_;
  HuffmanModel model_;
  std::uint64_t usedBits_ = 0;
  Worker worker_{kBlocksInFlight,
                 [this](Worker& worker) { Decode(worker); }};  // last: its thread uses the above
};

// The working storage of one run, one object per direction on the heap (about 35 KB for the
// encoder, and the blocks in flight), released by RAII. Releasing cannot fail, so the codec's
// error for a failed release ("Fehler beim Reservieren von Speicher.") never occurs.
struct EncoderStorage {
  MatchFinder finder;
  CoderThread coder;
};

struct DecoderStorage {
  explicit DecoderStorage(std::int64_t size) : thread(size) {}
  std::array<std::uint8_t, kRingSize> ring{};  // unreached positions read as 0
  DecoderThread thread;
};

template <class Storage, class... Arguments>
std::unique_ptr<Storage> Allocate(Arguments... arguments) {
  try {
    return std::make_unique<Storage>(arguments...);
  } catch (const std::bad_alloc&) {
    throw ElzhException("Es steht nicht genügend Speicher zur Verfügung.");
  }
}

}  // namespace lzh_detail

// ---------------------------------------------------------------------------------------------
// Encoder

template <class ReadByte, class WriteByte>
void LzhEncode(std::int32_t& bytesRead, ReadByte&& readByte, WriteByte&& writeByte) {
  using namespace lzh_detail;
  const auto storage = Allocate<EncoderStorage>();
  MatchFinder& finder = storage->finder;
  CoderThread& coder = storage->coder;
  auto& ring = finder.ring;

  int s = 0;  // oldest position, overwritten by the next input byte
  int r = kStartPosition;
  int len = 0;  // bytes of look-ahead still to code
  for (std::uint8_t byte = 0; len < kLookAhead && readByte(byte); ++len) {
    ring[static_cast<std::size_t>(r + len)] = byte;
  }
  std::int32_t inputCount = len;

  // The blanks before the input enter the trees, so that the input can match them.
  for (int i = 1; i <= kLookAhead; ++i) finder.Insert(r - i);
  finder.InsertAndMatch(r);

  do {
    if (finder.matchLength > len) finder.matchLength = len;
    if (finder.matchLength <= kThreshold) {
      finder.matchLength = 1;
      coder.Add({ring[static_cast<std::size_t>(r)], 0}, writeByte);
    } else {
      coder.Add({static_cast<std::uint16_t>(kFirstLengthSymbol + finder.matchLength),
                 static_cast<std::uint16_t>(finder.matchPosition)},
                writeByte);
    }
    const int last = finder.matchLength;
    int i = 0;
    for (std::uint8_t byte = 0; i < last && readByte(byte); ++i) {
      finder.Delete(s);
      finder.Store(s, byte);
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      if (i + 1 < last) {
        finder.Insert(r);
      } else {
        finder.InsertAndMatch(r);
      }
    }
    inputCount += i;
    for (; i < last; ++i) {
      finder.Delete(s);
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      if (--len != 0) finder.InsertAndMatch(r);
    }
  } while (len > 0);

  coder.Finish(writeByte);
  bytesRead = inputCount;
}

// ---------------------------------------------------------------------------------------------
// Decoder

template <class ReadByte, class WriteByte>
std::uint64_t LzhDecode(std::int32_t size, ReadByte&& readByte, WriteByte&& writeByte) {
  using namespace lzh_detail;
  if (size <= 0) return 0;  // nothing to decode: not a byte is read
  const auto storage = Allocate<DecoderStorage>(std::int64_t{size});
  auto& ring = storage->ring;
  for (std::size_t i = 0; i < kStartPosition; ++i) ring[i] = kInitialFill;
  DecoderThread::Worker& worker = storage->thread.worker();

  DecoderThread::Worker::InBlock input;
  input.reserve(kBytesPerBlock);
  bool inputOpen = true;     // no read has failed yet
  bool inputClosed = false;  // the thread knows that every block has come
  int r = kStartPosition;
  for (bool done = false; !done;) {
    // The input is read a block ahead of the decode, up to the first read that fails.
    while (inputOpen && input.size() < kBytesPerBlock) {
      std::uint8_t byte = 0;
      inputOpen = readByte(byte);
      if (inputOpen) input.push_back(byte);
    }
    if (!inputOpen && input.empty() && !inputClosed) {
      worker.CloseInput();
      inputClosed = true;
    }
    const auto items = worker.Exchange(input.empty() ? nullptr : &input, done);
    if (input.capacity() == 0) input.reserve(kBytesPerBlock);

    for (const CodeItem& item : items) {
      if (item.symbol < 256) {
        writeByte(static_cast<std::uint8_t>(item.symbol));
        ring[static_cast<std::size_t>(r)] = static_cast<std::uint8_t>(item.symbol);
        r = (r + 1) & kRingMask;
      } else if (item.symbol == DecoderThread::kPastEndItem) {
        std::uint8_t unused = 0;
        readByte(unused);
      } else {
        const int count = item.symbol - kFirstLengthSymbol;
        const int from = r - item.position - 1;
        for (int k = 0; k < count; ++k) {
          const std::uint8_t byte = ring[static_cast<std::size_t>((from + k) & kRingMask)];
          writeByte(byte);
          ring[static_cast<std::size_t>(r)] = byte;
          r = (r + 1) & kRingMask;
        }
      }
    }
  }
  return storage->thread.UsedBits();
}

}  // namespace kestravuna
