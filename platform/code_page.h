// The program's 8-bit code page is Windows-1252 on every platform, so containers, archives
// and password records hold the same bytes everywhere. Names and passwords are converted
// from and to the platform's UTF-8 at the file-format boundary.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestravuna::platform {

// nullopt when the text is not valid UTF-8 or holds a character outside the code page.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8);
// Every byte has a character (the five unassigned ones map to the C1 controls).
std::string CodePageToUtf8(std::string_view codePage);

// Decodes the UTF-8 character at `position` and advances past it; nullopt, with `position` as
// it was, for an invalid or truncated sequence or an overlong form. Surrogates and values beyond
// U+10FFFF come through; the code page has no byte for them.
std::optional<char32_t> NextUtf8Character(std::string_view text, std::size_t& position);

}  // namespace kestravuna::platform
