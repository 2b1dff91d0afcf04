// The program's 8-bit code page is Windows-1252 on every platform, so containers, archives
// and password records hold the same bytes everywhere. Names and passwords are converted
// from and to the platform's UTF-8 at the file-format boundary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestravuna::platform {

// nullopt when the text is not valid UTF-8 or holds a character outside the code page.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8);
// Every byte has a character (the five unassigned ones map to the C1 controls).
std::string CodePageToUtf8(std::string_view codePage);

}  // namespace kestravuna::platform
