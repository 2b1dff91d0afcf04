// A fresh folder under the system's temporary directory, removed with everything in it
// when the test ends, and small helpers to fill and read files.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "test_support/bytes.h"

namespace kestravuna::test_support {

class TempFolder {
 public:
  explicit TempFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::filesystem::path candidate = base / ("kestravuna-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("no temporary folder");
  }
  ~TempFolder() { RemoveEverything(path_); }

  // Removes `path` with everything below it, read-only files and folders included (Windows
  // deletes no read-only file; POSIX needs write access to a folder to empty it).
  static void RemoveEverything(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (auto entry = std::filesystem::recursive_directory_iterator(path, ignored);
         entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored)) {
      if (entry->is_symlink(ignored)) continue;
      std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `name` is UTF-8, as the program's names are (on Windows a narrow path is not).
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / std::u8string(name.begin(), name.end());
  }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, std::string_view contents) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string contents(std::filesystem::file_size(path), '\0');
  in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
  return contents;
}

inline void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

inline Bytes ReadBytes(const std::filesystem::path& path) { return BytesOf(ReadFile(path)); }

// Every regular file below `folder` (relative path -> contents), for before/after checks.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      const std::u8string name = std::filesystem::relative(entry.path(), folder).u8string();
      files[std::string(name.begin(), name.end())] = ReadFile(entry.path());
    }
  }
  return files;
}

}  // namespace kestravuna::test_support
