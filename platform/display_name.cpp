#include <cstdio>
#include <optional>
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/utf8_path.h"

namespace kestravuna::platform {

std::string DisplayName(std::string_view raw) {
  std::string shown;
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t next = i;
    const std::optional<char32_t> character = NextUtf8Character(raw, next);
    // Surrogates and values beyond U+10FFFF decode, but are no characters a name can hold.
    if (character && (*character < 0xD800 || *character > 0xDFFF) && *character <= 0x10FFFF) {
      shown.append(raw.substr(i, next - i));
      i = next;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(raw[i]));
      shown += escaped;
      ++i;
    }
  }
  return shown;
}

std::string DisplayPath(const std::filesystem::path& path) {
  return DisplayName(Utf8Of(PathAsUserKnowsIt(path)));
}

}  // namespace kestravuna::platform
