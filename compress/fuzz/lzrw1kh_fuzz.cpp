// Feeds arbitrary bytes to the LZRW1/KH codec two ways:
// - as a block to the decoder, with the container's 32,768-byte destination and with small,
//   odd destinations (exactly sized heap buffers, so any access outside them is caught); a
//   smaller destination must give the same bytes or a refusal, never something else;
// - as a source to the encoder, whose block must decode back to the source.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "compress/lzrw1kh.h"

namespace {

using kestravuna::kLzrw1KhDestSlack;
using kestravuna::kLzrw1KhMaxSource;
using kestravuna::Lzrw1KhCompress;
using kestravuna::Lzrw1KhDecompress;

void Check(bool condition) {
  if (!condition) std::abort();
}

void DecodeAsBlock(std::span<const std::uint8_t> block) {
  std::vector<std::uint8_t> full(kLzrw1KhMaxSource);
  const std::optional<std::size_t> produced = Lzrw1KhDecompress(block, full);
  if (produced) Check(*produced <= full.size());

  const std::size_t small = block.empty() ? 0 : block[0] % 41;
  for (std::size_t capacity : {std::size_t{0}, std::size_t{1}, small, block.size() * 3 + 1,
                               produced ? *produced : std::size_t{17},
                               produced && *produced > 0 ? *produced - 1 : std::size_t{33}}) {
    std::vector<std::uint8_t> dest(capacity);
    const std::optional<std::size_t> again = Lzrw1KhDecompress(block, dest);
    if (produced && *produced <= capacity) {
      Check(again == produced);
      Check(std::equal(dest.begin(), dest.begin() + static_cast<std::ptrdiff_t>(*produced),
                       full.begin()));
    } else {
      Check(!again);
    }
  }
}

void RoundTrip(std::span<const std::uint8_t> source) {
  if (source.size() > kLzrw1KhMaxSource) source = source.first(kLzrw1KhMaxSource);
  std::vector<std::uint8_t> block(source.size() + kLzrw1KhDestSlack);
  static auto state = std::make_unique<kestravuna::Lzrw1KhState>();
  const std::size_t length = Lzrw1KhCompress(source, block, *state);
  Check(length >= 1 && length <= source.size() + 1);
  block.resize(length);
  std::vector<std::uint8_t> back(source.size());
  const std::optional<std::size_t> produced = Lzrw1KhDecompress(block, back);
  Check(produced && *produced == source.size());
  Check(std::equal(back.begin(), back.end(), source.begin(), source.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  DecodeAsBlock(input);
  RoundTrip(input);
  return 0;
}
