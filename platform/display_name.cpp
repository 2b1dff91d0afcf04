#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "platform/utf8_path.h"

namespace kestravuna::platform {

namespace {

// Length of the well-formed UTF-8 character at the front of `text`, 0 when it is none
// (a stray continuation byte, a cut or overlong sequence, a surrogate, a value beyond U+10FFFF).
std::size_t Utf8CharacterLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string DisplayName(std::string_view raw) {
  std::string shown;
  for (std::size_t i = 0; i < raw.size();) {
    const std::size_t length = Utf8CharacterLength(raw.substr(i));
    if (length == 0) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(raw[i]));
      shown += escaped;
      ++i;
    } else {
      shown.append(raw.substr(i, length));
      i += length;
    }
  }
  return shown;
}

std::string DisplayPath(const std::filesystem::path& path) {
  return DisplayName(Utf8Of(PathAsUserKnowsIt(path)));
}

}  // namespace kestravuna::platform
