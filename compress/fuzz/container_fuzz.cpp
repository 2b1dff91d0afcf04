// Decompresses arbitrary bytes as a container, stream to stream. Whatever the bytes, only the
// component's own error may leave Decompress, nothing may be read or written outside a buffer,
// and a run that succeeds must have written exactly the size its header states.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "compress/byte_stream.h"
#include "compress/zarlz.h"

namespace {

// A size field may promise up to 2 GiB; the capped destination turns such a promise into a
// write error after a few megabytes instead of a long run.
constexpr std::size_t kOutputCap = 4 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  kestravuna::MemoryStream input(bytes);
  kestravuna::MemoryStream output(kOutputCap);
  kestravuna::TZarLZ zarlz;
  zarlz.UseStream = true;
  zarlz.InputStream = &input;
  zarlz.OutputStream = &output;
  try {
    const std::int64_t written = zarlz.Decompress();
    const std::int64_t sizeField = kestravuna::ContainerSize(
        bytes.subspan<kestravuna::kContainerFieldSize, kestravuna::kContainerFieldSize>());
    if (written != output.Size() || written != sizeField) std::abort();
  } catch (const kestravuna::ELzrw1Exception&) {
    // A damaged container: the expected outcome for most inputs.
  }
  return 0;
}
