// Feeds arbitrary bytes to both code page conversions: as UTF-8, whatever converts must
// convert back to exactly the same text (so nothing invalid or overlong is accepted); as
// 8-bit text, every byte string must survive the way through UTF-8 unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestravuna::platform::CodePageToUtf8;
  using kestravuna::platform::Utf8ToCodePage;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::optional<std::string> codePage = Utf8ToCodePage(text);
  if (codePage) {
    Check(codePage->size() <= text.size());
    Check(CodePageToUtf8(*codePage) == text);
  }
  Check(Utf8ToCodePage(CodePageToUtf8(text)) == std::string(text));
  return 0;
}
