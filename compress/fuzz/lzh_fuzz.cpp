// Feeds arbitrary bytes to the LZH codec two ways:
// - as a code stream to the decoder, with a target size taken from the first three bytes
//   (up to 1 MiB); it must write the size or at most 59 bytes more and end, whatever the bits;
// - as input to the encoder, whose stream must decode back to it, using every delivered bit
//   and none beyond.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "compress/lzh_codec.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Decoded {
  std::vector<std::uint8_t> output;
  std::uint64_t usedBits = 0;
};

Decoded Decode(std::span<const std::uint8_t> stream, std::int32_t size) {
  Decoded result;
  std::size_t next = 0;
  result.usedBits = kestravuna::LzhDecode(
      size,
      [&](std::uint8_t& byte) {
        if (next == stream.size()) return false;
        byte = stream[next++];
        return true;
      },
      [&](std::uint8_t byte) { result.output.push_back(byte); });
  return result;
}

void DecodeArbitraryStream(std::span<const std::uint8_t> data) {
  // Size: up to 4095 so that runs stay fast; when the third byte is 0xFF, 16 bits times 16,
  // which reaches the model rebuilds.
  const int raw = data[0] | data[1] << 8;
  const auto size = static_cast<std::int32_t>(data[2] == 0xFF ? raw << 4 : raw & 0xFFF);
  const Decoded decoded = Decode(data.subspan(3), size);
  Check(decoded.output.size() >= static_cast<std::size_t>(size));
  Check(decoded.output.size() <= static_cast<std::size_t>(size) + 59);
}

void RoundTrip(std::span<const std::uint8_t> input) {
  std::vector<std::uint8_t> stream;
  std::int32_t bytesRead = -1;
  std::size_t next = 0;
  kestravuna::LzhEncode(
      bytesRead,
      [&](std::uint8_t& byte) {
        if (next == input.size()) return false;
        byte = input[next++];
        return true;
      },
      [&](std::uint8_t byte) { stream.push_back(byte); });
  Check(bytesRead == static_cast<std::int32_t>(input.size()));

  const Decoded decoded = Decode(stream, bytesRead);
  Check(decoded.output.size() == input.size());
  Check(std::equal(input.begin(), input.end(), decoded.output.begin()));
  if (!input.empty()) {
    Check(decoded.usedBits <= 8 * stream.size());
    Check(decoded.usedBits > 8 * (stream.size() - 1));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  if (input.size() >= 3) DecodeArbitraryStream(input);
  RoundTrip(input);
  return 0;
}
