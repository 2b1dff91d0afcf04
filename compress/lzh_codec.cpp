// The parts of the LZH codec that do not depend on the callbacks: the adaptive Huffman model,
// the work of the two directions' Huffman threads and the encoder's search trees. Every decision
// here shapes the code stream, so each step follows the stream format exactly; speed comes only
// from doing the same work with wider loads.
#include "compress/lzh_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <utility>

#include "platform/byte_order.h"

namespace kestravuna::lzh_detail {

// ---------------------------------------------------------------------------------------------
// Huffman model

HuffmanModel::HuffmanModel() {
  // Every symbol starts with count 1; the first 313 pairs are joined in order.
  for (std::size_t s = 0; s < kSymbolCount; ++s) {
    count_[s] = 1;
    child_[s] = static_cast<NodeIndex>(s + kNodeCount);
    parent_[s + kNodeCount] = static_cast<NodeIndex>(s);
  }
  for (std::size_t i = 0, j = kSymbolCount; j <= kRoot; i += 2, ++j) {
    count_[j] = static_cast<std::uint16_t>(count_[i] + count_[i + 1]);
    child_[j] = static_cast<NodeIndex>(i);
    parent_[i] = parent_[i + 1] = static_cast<NodeIndex>(j);
  }
  // Stops the search for a node to swap with.
  std::fill(count_.begin() + kNodeCount, count_.end(), std::uint16_t{0xFFFF});
  parent_[kRoot] = 0;
  RefreshGrandchildren();
}

void HuffmanModel::RefreshGrandchildren() {
  for (std::size_t node = 0; node < kNodeCount; ++node) {
    const std::size_t first = child_[node];
    if (first < kNodeCount) grandchildren_[node] = {child_[first], child_[first + 1]};
  }
}

void HuffmanModel::Update(int symbol) {
  if (count_[kRoot] == kCountLimit) Rebuild();
  CountUpFrom(parent_[kNodeCount + static_cast<std::size_t>(symbol)]);
}

void HuffmanModel::UpdateAlong(const Path& path, int length, int symbol) {
  // A rebuild reshapes the tree, so the recorded path no longer applies.
  if (count_[kRoot] == kCountLimit) {
    Update(symbol);
    return;
  }
  // A node must move exactly when its count reaches its right neighbour's: the array is sorted
  // and a child always lies left of its parent, so the counts raised below do not change this.
  for (auto i = static_cast<std::size_t>(length); i-- > 0;) {
    const std::size_t c = path[i];
    if (count_[c] == count_[c + 1]) {
      CountUpFrom(c);
      return;
    }
    ++count_[c];
  }
  ++count_[kRoot];  // the sentinel above the root keeps it in place
}

// Counts one occurrence at `c` and at each node above it, moving nodes to keep the order.
void HuffmanModel::CountUpFrom(std::size_t c) {
  do {
    const std::uint16_t k = ++count_[c];
    if (k > count_[c + 1]) {
      // Move c behind the last node whose count is still below its new one, so the array
      // stays sorted. The nodes after c are sorted, so those below k form a prefix that is
      // counted a step at a time without a branch per node; the sentinels end the scan.
      std::size_t l = c + 1;
      for (;;) {
        int below = 0;
        for (std::size_t n = 1; n <= kScanStep; ++n) below += count_[l + n] < k;
        l += static_cast<std::size_t>(below);
        if (below < kScanStep) break;
      }
      // Every node passed holds k - 1, the count c had before.
      count_[c] = static_cast<std::uint16_t>(k - 1);
      count_[l] = k;

      const std::size_t i = child_[c];
      parent_[i] = static_cast<NodeIndex>(l);
      if (i < kNodeCount) parent_[i + 1] = static_cast<NodeIndex>(l);
      const std::size_t j = child_[l];
      child_[l] = static_cast<NodeIndex>(i);
      parent_[j] = static_cast<NodeIndex>(c);
      if (j < kNodeCount) parent_[j + 1] = static_cast<NodeIndex>(c);
      child_[c] = static_cast<NodeIndex>(j);
      // c and l swapped their children, so they swap their grandchildren too; their parents
      // (which stay: neither is the other's ancestor) see the new children of c and l.
      std::swap(grandchildren_[c], grandchildren_[l]);
      grandchildren_[parent_[c]][c & 1] = static_cast<NodeIndex>(j);
      grandchildren_[parent_[l]][l & 1] = static_cast<NodeIndex>(i);
      c = l;
    }
    c = parent_[c];
  } while (c != 0);  // the root's parent is 0, and node 0 is never a parent
}

void HuffmanModel::Rebuild() {
  // Gather the leaves at the front, in order, halving their counts (rounding up).
  std::size_t j = 0;
  for (std::size_t i = 0; i < kNodeCount; ++i) {
    if (child_[i] >= kNodeCount) {
      count_[j] = static_cast<std::uint16_t>((count_[i] + 1) / 2);
      child_[j] = child_[i];
      ++j;
    }
  }
  // Join pairs in order, each new node sorted in behind all nodes of a count up to its own.
  for (std::size_t i = 0, n = kSymbolCount; n < kNodeCount; i += 2, ++n) {
    const auto f = static_cast<std::uint16_t>(count_[i] + count_[i + 1]);
    std::size_t k = n - 1;
    while (f < count_[k]) --k;
    ++k;
    const auto from = static_cast<std::ptrdiff_t>(k);
    const auto to = static_cast<std::ptrdiff_t>(n);
    std::copy_backward(count_.begin() + from, count_.begin() + to, count_.begin() + to + 1);
    std::copy_backward(child_.begin() + from, child_.begin() + to, child_.begin() + to + 1);
    count_[k] = f;
    child_[k] = static_cast<NodeIndex>(i);
  }
  for (std::size_t i = 0; i < kNodeCount; ++i) {
    const std::size_t k = child_[i];
    parent_[k] = static_cast<NodeIndex>(i);
    if (k < kNodeCount) parent_[k + 1] = static_cast<NodeIndex>(i);
  }
  RefreshGrandchildren();
}

// ---------------------------------------------------------------------------------------------
// The Huffman threads

void CoderThread::Code(Worker& worker) {
  Worker::OutBlock out;
  auto append = [&out](std::uint8_t byte) { out.push_back(byte); };
  BitWriter<decltype(append)> bits(append);
  for (Worker::InBlock block; worker.TakeInput(block);) {
    for (const CodeItem& item : block) {
      const auto code = model_.CodeOf(item.symbol);
      bits.Put(code.bits, code.length);
      model_.Update(item.symbol);
      if (item.symbol < 256) continue;
      // The upper 6 bits of the position through the fixed prefix code, the lower 6 plain.
      const auto upper = static_cast<std::size_t>(item.position >> 6);
      const auto prefix = static_cast<std::uint32_t>(kPositionTables.code[upper]);
      const int prefixLength = kPositionTables.length[upper];
      bits.Put((prefix >> (8 - prefixLength)) << 6 | (item.position & 63u), prefixLength + 6);
    }
    if (!worker.Deliver(std::exchange(out, Worker::OutBlock()))) return;
  }
  bits.Flush();
  worker.Deliver(std::move(out));
}

void DecoderThread::Decode(Worker& worker) {
  Worker::InBlock input;
  std::size_t next = 0;
  std::int64_t readsPastEnd = 0;
  Worker::OutBlock items;
  items.reserve(kItemsPerBlock);
  // Hands over the items so far; false when the caller has gone.
  const auto deliver = [&] {
    if (!worker.Deliver(std::exchange(items, Worker::OutBlock()))) return false;
    items.reserve(kItemsPerBlock);
    return true;
  };
  auto readByte = [&](std::uint8_t& byte) {
    if (next == input.size()) {
      next = 0;
      if (!worker.TakeInput(input)) {
        input.clear();
        // The caller's own failed read stands for the first byte past the end.
        if (++readsPastEnd > 1) items.push_back({kPastEndItem, 0});
        return false;
      }
    }
    byte = input[next++];
    return true;
  };
  BitReader<decltype(readByte)> bits(readByte);
  HuffmanModel::Path path;

  for (std::int64_t written = 0; written < size_;) {  // wide: a last match may run past 2^31
    bits.Refill();
    const auto [symbol, length] = model_.Decode(bits.Peek(), path);
    bits.Skip(length);
    model_.UpdateAlong(path, length, symbol);
    if (symbol < 256) {
      items.push_back({static_cast<std::uint16_t>(symbol), 0});
      ++written;
    } else {
      const std::uint64_t peek = bits.Peek();
      const auto first8 = static_cast<std::size_t>(peek >> 56);
      const int upper = kPositionTables.upper[first8];
      const int codeLength = kPositionTables.lengthOf[first8] + 6;
      const int position = upper << 6 | static_cast<int>((peek >> (64 - codeLength)) & 63);
      bits.Skip(codeLength);
      items.push_back({static_cast<std::uint16_t>(symbol), static_cast<std::uint16_t>(position)});
      written += symbol - kFirstLengthSymbol;
    }
    if (items.size() >= kItemsPerBlock && !deliver()) return;
  }
  usedBits_ = bits.Used();
  deliver();
}

// ---------------------------------------------------------------------------------------------
// Match finder

namespace {

// One instruction where the compiler offers it (std::byteswap is C++23).
constexpr std::uint64_t ByteSwap(std::uint64_t v) {
#if defined(__GNUC__)
  return __builtin_bswap64(v);
#else
  v = (v & 0x00FF00FF00FF00FFu) << 8 | (v >> 8 & 0x00FF00FF00FF00FFu);
  v = (v & 0x0000FFFF0000FFFFu) << 16 | (v >> 16 & 0x0000FFFF0000FFFFu);
  return v << 32 | v >> 32;
#endif
}

// Eight bytes as one number whose order is the order of the byte strings, so one comparison
// both finds whether they differ and which one is greater: the platform's little-endian
// reads (one load), turned around.
inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  return ByteSwap(platform::LoadLe32(std::span<const std::uint8_t, 4>(p, 4)) |
                  std::uint64_t{platform::LoadLe32(std::span<const std::uint8_t, 4>(p + 4, 4))}
                      << 32);
}

// Bytes 1..59 of a string are compared in 8-byte steps at these offsets; the last step reads
// bytes 57..64, which the ring's slack makes readable, and a difference past 59 counts as none.
constexpr int kLastCompareOffset = kLookAhead - 3;

// A match as one number: the length above, 4096 - distance (1..4095) below, so that the
// largest is the longest and among equally long ones the nearest; 0 when it is too short to
// code. Masked rather than branched, since whether a match is long enough is unpredictable.
inline int Score(int length, int nearness) {
  const int eligible = -static_cast<int>(length > kThreshold);
  return (length << 12 | nearness) & eligible;
}

}  // namespace

// Both links of a node are read as one word and the one on `side` is picked from it, so the
// load does not wait for the comparison that decides the side.
std::size_t MatchFinder::LinkOf(const Links& links, std::size_t side) {
  std::uint32_t both;
  std::memcpy(&both, links.data(), sizeof both);
  const std::size_t shift =
      16 * (std::endian::native == std::endian::little ? side : kRight - side);
  return static_cast<Position>(both >> shift);
}

MatchFinder::MatchFinder() {
  std::fill(ring.begin(), ring.begin() + kStartPosition, kInitialFill);
  links_.fill({kEmptyLink, kEmptyLink});
  parent_.fill(kEmptyLink);
}

void MatchFinder::Insert(int r) { InsertNode<false>(static_cast<std::size_t>(r)); }
void MatchFinder::InsertAndMatch(int r) { InsertNode<true>(static_cast<std::size_t>(r)); }

template <bool kFindMatch>
void MatchFinder::InsertNode(std::size_t r) {
  const std::uint8_t* key = &ring[r];
  const std::uint64_t keyHead = LoadBigEndian64(key + 1);
  Left(r) = Right(r) = kEmptyLink;
  int best = 0;  // score of the best match so far
  std::size_t p = kTreeRoots + key[0];
  std::size_t side = kRight;  // the roots hang everything on their right
  for (;;) {
    const std::size_t next = LinkOf(links_[p], side);
    if (next == kEmptyLink) {
      links_[p][side] = static_cast<Position>(r);
      Parent(r) = static_cast<Position>(p);
      break;
    }
    p = next;

    // Most strings differ within their first word; the rest of the comparison is the rare
    // path, and only it can find a full-length match.
    const std::uint8_t* candidate = &ring[p];
    std::uint64_t keyWord = keyHead;
    std::uint64_t candidateWord = LoadBigEndian64(candidate + 1);
    if (keyWord != candidateWord) [[likely]] {
      if constexpr (kFindMatch) {
        const int length = 1 + std::countl_zero(keyWord ^ candidateWord) / 8;
        best = std::max(best, Score(length, static_cast<int>((p - r) & kRingMask)));
      }
    } else {
      int offset = 1;
      do {
        offset += 8;
        keyWord = LoadBigEndian64(key + offset);
        candidateWord = LoadBigEndian64(candidate + offset);
      } while (keyWord == candidateWord && offset < kLastCompareOffset);
      const int length =
          keyWord == candidateWord
              ? kLookAhead
              : std::min(offset + std::countl_zero(keyWord ^ candidateWord) / 8, kLookAhead);
      if constexpr (kFindMatch) {
        best = std::max(best, Score(length, static_cast<int>((p - r) & kRingMask)));
      }
      if (length == kLookAhead) {
        // A full-length match: r takes p's place, so each 60-byte string is kept only at its
        // newest position.
        links_[r] = links_[p];
        Parent(r) = Parent(p);
        Parent(Left(p)) = static_cast<Position>(r);
        Parent(Right(p)) = static_cast<Position>(r);
        LinkFromParent(p) = static_cast<Position>(r);
        Parent(p) = kEmptyLink;
        break;
      }
    }
    side = keyWord > candidateWord ? kRight : kLeft;
  }
  if constexpr (kFindMatch) {
    matchLength = best >> 12;
    if (best != 0) matchPosition = kRingSize - (best & kRingMask) - 1;
  }
}

void MatchFinder::Delete(int position) {
  const auto p = static_cast<std::size_t>(position);
  if (Parent(p) == kEmptyLink) return;
  std::size_t q;
  if (Right(p) == kEmptyLink) {
    q = Left(p);
  } else if (Left(p) == kEmptyLink) {
    q = Right(p);
  } else {
    // Both subtrees present: the largest node of the left subtree takes p's place.
    q = Left(p);
    if (Right(q) != kEmptyLink) {
      do q = Right(q);
      while (Right(q) != kEmptyLink);
      Right(Parent(q)) = Left(q);
      Parent(Left(q)) = Parent(q);
      Left(q) = Left(p);
      Parent(Left(p)) = static_cast<Position>(q);
    }
    Right(q) = Right(p);
    Parent(Right(p)) = static_cast<Position>(q);
  }
  Parent(q) = Parent(p);
  LinkFromParent(p) = static_cast<Position>(q);
  Parent(p) = kEmptyLink;
}

}  // namespace kestravuna::lzh_detail
