#include "app/win32/folder_listing.h"

#include <algorithm>
#include <cwctype>

namespace kestravuna::app::win32 {

namespace {

constexpr DWORD kUnlisted =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT;

// Closes a search handle when the listing ends, however it ends.
class Search {
 public:
  Search(const std::filesystem::path& pattern, WIN32_FIND_DATAW& entry)
      : handle_(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                 FindExSearchLimitToDirectories, nullptr, 0)) {}
  ~Search() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;

  bool Found() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAW& entry) { return FindNextFileW(handle_, &entry) != FALSE; }

 private:
  HANDLE handle_;
};

std::wstring UpperCase(std::wstring text) {
  std::ranges::transform(text, text.begin(),
                         [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  return text;
}

}  // namespace

bool IsListedFolder(DWORD attributes, std::wstring_view name) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & kUnlisted) &&
         !name.starts_with(L'.');
}

std::vector<std::wstring> ListedSubfolders(const std::filesystem::path& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  Search search(folder / L"*", entry);
  if (!search.Found()) return names;
  do {
    if (IsListedFolder(entry.dwFileAttributes, entry.cFileName))
      names.emplace_back(entry.cFileName);
  } while (search.Next(entry));
  std::ranges::sort(names, [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  return names;
}

DriveChoice ListDrives(const std::vector<std::filesystem::path>& drives,
                       const std::filesystem::path& shown) {
  DriveChoice choice{{}, 0};
  const auto entryOf = [](const std::filesystem::path& root) {
    return DriveEntry{root, UpperCase(root.root_name().native())};
  };
  const std::wstring shownLabel = entryOf(shown).label;
  bool found = false;
  for (const std::filesystem::path& drive : drives) {
    choice.entries.push_back(entryOf(drive));
    if (!found && choice.entries.back().label == shownLabel) {
      choice.selected = choice.entries.size() - 1;
      found = true;
    }
  }
  if (!found) {
    choice.entries.push_back(entryOf(shown));
    choice.selected = choice.entries.size() - 1;
  }
  return choice;
}

}  // namespace kestravuna::app::win32
