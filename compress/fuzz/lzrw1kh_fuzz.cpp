#include <cstddef>
#include <cstdint>
// placeholder, replaced as this file is written
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
