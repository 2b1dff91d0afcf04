// UTF-8 (the core's texts) and UTF-16 (the Win32 API's) in both directions.
#pragma once

#include <string>
#include <string_view>

namespace kestravuna::app::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace kestravuna::app::win32
