// Reads arbitrary bytes as an encrypted container, two ways:
// - as they are: the header is read and checked, and whatever passes is opened with a fixed key
//   (the header's own costs could ask for gigabytes); only the container's error may come out;
// - as changes to a sound container of known contents: the input's first half is sealed, its
//   second half flips bytes of the result. Reading it back must give exactly the contents when
//   no byte changed, and otherwise stop with the container's error or a refused key, never
//   hand on other contents.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "compress/byte_stream.h"
#include "seal/sealed_container.h"

namespace {

using kestravuna::ESealError;
using kestravuna::MemoryStream;
using Bytes = std::vector<std::uint8_t>;

const kestravuna::SealKey& FixedKey() {
  static const kestravuna::SealKey key("Kennwort", {1, 8}, kestravuna::SealSalt{});
  return key;
}

// Opens `sealed` with the fixed key; the contents, or nothing when the key is refused. Raises
// ESealError.
std::optional<Bytes> Open(std::span<const std::uint8_t> sealed) {
  MemoryStream source(sealed);
  const kestravuna::SealHeader header = kestravuna::ReadSealHeader(source);
  kestravuna::UnsealingStream unsealing(source, header, FixedKey());
  if (!unsealing.Unlock()) return std::nullopt;
  Bytes plain;
  std::vector<std::uint8_t> buffer(4096);
  for (std::int64_t got = 0; (got = unsealing.Read(buffer)) > 0;) {
    plain.insert(plain.end(), buffer.begin(), buffer.begin() + got);
  }
  unsealing.RaiseFault();
  if (!unsealing.ReadToEnd()) std::abort();  // a memory stream never fails
  return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  if (input.empty()) return 0;
  if (input[0] % 2 == 0) {
    try {
      Open(input.subspan(1));
    } catch (const ESealError&) {
      // A damaged container: the expected outcome for most inputs.
    }
    return 0;
  }
  const std::span<const std::uint8_t> rest = input.subspan(1);
  const std::span<const std::uint8_t> plain = rest.first(rest.size() / 2);
  const std::span<const std::uint8_t> changes = rest.subspan(plain.size());
  MemoryStream sealedStream;
  kestravuna::SealingStream sealing(sealedStream, FixedKey());
  if (sealing.Write(plain) != static_cast<std::int64_t>(plain.size()) || !sealing.Finish()) {
    std::abort();
  }
  Bytes sealed = sealedStream.Data();
  const Bytes sound = sealed;
  // Each pair of change bytes flips the bits of the second at a place the first points to.
  for (std::size_t i = 0; i + 1 < changes.size(); i += 2) {
    sealed[changes[i] * sealed.size() / 256] ^= changes[i + 1];
  }
  try {
    const std::optional<Bytes> opened = Open(sealed);
    if (opened && (sealed != sound || !std::ranges::equal(*opened, plain))) std::abort();
  } catch (const ESealError&) {
    if (sealed == sound) std::abort();
  }
  return 0;
}
