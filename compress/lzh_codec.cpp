// The parts of the LZH codec that do not depend on the callbacks: the adaptive Huffman model
// and the encoder's search trees. Every decision here shapes the code stream, so each step
// follows the stream format exactly; speed comes only from doing the same work with wider
// loads.
#include "lzh_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestravuna::lzh_detail {

// ---------------------------------------------------------------------------------------------
// Huffman model

HuffmanModel::HuffmanModel() {
  // Every symbol starts with count 1; the first 313 pairs are joined in order.
  for (int s = 0; s < kSymbolCount; ++s) {
    count_[s] = 1;
    child_[s] = static_cast<std::int16_t>(s + kNodeCount);
    parent_[s + kNodeCount] = static_cast<std::int16_t>(s);
  }
  for (int i = 0, j = kSymbolCount; j <= kRoot; i += 2, ++j) {
    count_[j] = static_cast<std::uint16_t>(count_[i] + count_[i + 1]);
    child_[j] = static_cast<std::int16_t>(i);
    parent_[i] = parent_[i + 1] = static_cast<std::int16_t>(j);
  }
  count_[kNodeCount] = 0xFFFF;  // stops the search for a node to swap with
  parent_[kRoot] = 0;
}

void HuffmanModel::Update(int symbol) {
  if (count_[kRoot] == kCountLimit) Rebuild();
  int c = parent_[kNodeCount + symbol];
  do {
    const std::uint16_t k = ++count_[c];
    if (k > count_[c + 1]) {
      // Move c behind the last node whose count is still below its new one, so the array
      // stays sorted. The sentinel ends the scan.
      int l = c + 1;
      while (count_[l + 1] < k) ++l;
      count_[c] = count_[l];
      count_[l] = k;

      const int i = child_[c];
      parent_[i] = static_cast<std::int16_t>(l);
      if (i < kNodeCount) parent_[i + 1] = static_cast<std::int16_t>(l);
      const int j = child_[l];
      child_[l] = static_cast<std::int16_t>(i);
      parent_[j] = static_cast<std::int16_t>(c);
      if (j < kNodeCount) parent_[j + 1] = static_cast<std::int16_t>(c);
      child_[c] = static_cast<std::int16_t>(j);
      c = l;
    }
    c = parent_[c];
  } while (c != 0);  // the root's parent is 0, and node 0 is never a parent
}

void HuffmanModel::Rebuild() {
  // Gather the leaves at the front, in order, halving their counts (rounding up).
  int j = 0;
  for (int i = 0; i < kNodeCount; ++i) {
    if (child_[i] >= kNodeCount) {
      count_[j] = static_cast<std::uint16_t>((count_[i] + 1) / 2);
      child_[j] = child_[i];
      ++j;
    }
  }
  // Join pairs in order, each new node sorted in behind all nodes of a count up to its own.
  for (int i = 0, n = kSymbolCount; n < kNodeCount; i += 2, ++n) {
    const auto f = static_cast<std::uint16_t>(count_[i] + count_[i + 1]);
    int k = n - 1;
    while (f < count_[k]) --k;
    ++k;
    std::copy_backward(count_.begin() + k, count_.begin() + n, count_.begin() + n + 1);
    std::copy_backward(child_.begin() + k, child_.begin() + n, child_.begin() + n + 1);
    count_[k] = f;
    child_[k] = static_cast<std::int16_t>(i);
  }
  for (int i = 0; i < kNodeCount; ++i) {
    const int k = child_[i];
    parent_[k] = static_cast<std::int16_t>(i);
    if (k < kNodeCount) parent_[k + 1] = static_cast<std::int16_t>(i);
  }
}

// ---------------------------------------------------------------------------------------------
// Match finder

namespace {

// Index of the first byte in 1..59 where the strings at a and b differ, or 60 when bytes
// 1..59 are equal. Compares 8 bytes per step; the last step reads bytes 57..64, which the
// ring's slack makes readable, and caps the result.
inline int FirstDifference(const std::uint8_t* a, const std::uint8_t* b) {
  for (int offset = 1; offset < kLookAhead; offset += 8) {
    std::uint64_t wa;
    std::uint64_t wb;
    std::memcpy(&wa, a + offset, sizeof wa);
    std::memcpy(&wb, b + offset, sizeof wb);
    if (const std::uint64_t diff = wa ^ wb; diff != 0) {
      const int byte = std::endian::native == std::endian::little ? std::countr_zero(diff) / 8
                                                                   : std::countl_zero(diff) / 8;
      return std::min(offset + byte, kLookAhead);
    }
  }
  return kLookAhead;
}

}  // namespace

MatchFinder::MatchFinder() {
  std::fill(ring.begin(), ring.begin() + kStartPosition, kInitialFill);
  left_.fill(kEmptyLink);
  right_.fill(kEmptyLink);
  parent_.fill(kEmptyLink);
}

void MatchFinder::Insert(int r) {
  const std::uint8_t* key = &ring[r];
  int p = kTreeRoots + key[0];
  left_[r] = right_[r] = kEmptyLink;
  matchLength = 0;
  int order = 1;  // sign of key - string at p; the roots hang everything on their right
  for (;;) {
    auto& link = order >= 0 ? right_[p] : left_[p];
    if (link == kEmptyLink) {
      link = static_cast<std::int16_t>(r);
      parent_[r] = static_cast<std::int16_t>(p);
      return;
    }
    p = link;
    const int i = FirstDifference(key, &ring[p]);
    if (i > kThreshold) {
      const int distance = ((r - p) & kRingMask) - 1;
      if (i > matchLength) {
        matchPosition = distance;
        matchLength = i;
      } else if (i == matchLength && distance < matchPosition) {
        matchPosition = distance;  // among equally long matches the nearest wins
      }
      if (matchLength >= kLookAhead) break;
    }
    order = key[i] - ring[p + i];
  }
  // A full-length match: r takes p's place, so each 60-byte string is kept only at its
  // newest position.
  parent_[r] = parent_[p];
  left_[r] = left_[p];
  right_[r] = right_[p];
  parent_[left_[p]] = static_cast<std::int16_t>(r);
  parent_[right_[p]] = static_cast<std::int16_t>(r);
  auto& fromParent = right_[parent_[p]] == p ? right_[parent_[p]] : left_[parent_[p]];
  fromParent = static_cast<std::int16_t>(r);
  parent_[p] = kEmptyLink;
}

void MatchFinder::Delete(int p) {
  if (parent_[p] == kEmptyLink) return;
  int q;
  if (right_[p] == kEmptyLink) {
    q = left_[p];
  } else if (left_[p] == kEmptyLink) {
    q = right_[p];
  } else {
    // Both subtrees present: the largest node of the left subtree takes p's place.
    q = left_[p];
    if (right_[q] != kEmptyLink) {
      do q = right_[q]; while (right_[q] != kEmptyLink);
      right_[parent_[q]] = left_[q];
      parent_[left_[q]] = parent_[q];
      left_[q] = left_[p];
      parent_[left_[p]] = static_cast<std::int16_t>(q);
    }
    right_[q] = right_[p];
    parent_[right_[p]] = static_cast<std::int16_t>(q);
  }
  parent_[q] = parent_[p];
  auto& fromParent = right_[parent_[p]] == p ? right_[parent_[p]] : left_[parent_[p]];
  fromParent = static_cast<std::int16_t>(q);
  parent_[p] = kEmptyLink;
}

}  // namespace kestravuna::lzh_detail
