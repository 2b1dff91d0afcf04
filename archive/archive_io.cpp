#include "archive/detail/archive_io.h"

#include "platform/code_page.h"

namespace kestravuna {

namespace {
constexpr std::size_t kStatusTextCapacity = 255;
}

std::string FileStatusText(std::string_view prefix, std::string_view codePageName) {
  std::string text = std::string(prefix) + std::string(codePageName) + "...";
  if (text.size() > kStatusTextCapacity) text.resize(kStatusTextCapacity);
  return platform::CodePageToUtf8(text);
}

bool IsSafeFileName(std::string_view codePageName) {
  return !codePageName.empty() && codePageName != "." && codePageName != ".." &&
         codePageName.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

void ReportFile(const ArchiveProgress& progress, std::string_view prefix,
                std::string_view codePageName) {
  if (progress.pumpMessages) progress.pumpMessages();
  if (progress.status) progress.status(FileStatusText(prefix, codePageName));
}

}  // namespace kestravuna
