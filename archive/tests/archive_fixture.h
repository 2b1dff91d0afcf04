// A fresh folder tree per test: the folder to pack, a folder to unpack into, and a private
// temporary directory of its own (XDG_CACHE_HOME), so that tests running at the same time
// never share TEMP1.CRY, TEMP2.CRY or TEMP3.CRY.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_progress.h"
#include "archive/archive_record.h"

namespace kestravuna::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& path, std::string_view text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

// Bytes that do not repeat within a copy buffer, so a misplaced chunk shows.
inline Bytes PatternBytes(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

inline bool IsReadOnly(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

inline void MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// One stored file of a hand-made archive.
struct StoredFile {
  std::string codePageName;
  Bytes data;
  std::uint32_t attributes = 32;
};

// An archive as the packer writes it, built from the record type alone.
inline Bytes BuildArchive(const std::vector<StoredFile>& files) {
  Bytes archive;
  const auto append = [&archive](const ArchiveRecord& record) {
    const auto bytes = record.Serialize();
    archive.insert(archive.end(), bytes.begin(), bytes.end());
  };
  append(MakeArchiveHeader(files.size()));
  std::int64_t offset = DataAreaStart(files.size());
  for (const StoredFile& file : files) {
    ArchiveRecord record;
    record.SetName(file.codePageName);
    record.SetFlags(file.attributes);
    offset += static_cast<std::int64_t>(file.data.size());
    record.offset = static_cast<std::int32_t>(offset);
    append(record);
  }
  for (const StoredFile& file : files) {
    archive.insert(archive.end(), file.data.begin(), file.data.end());
  }
  return archive;
}

// The parsed record at `index` (0 is the header).
inline ArchiveRecord RecordAt(const Bytes& archive, std::size_t index) {
  std::array<std::uint8_t, kArchiveRecordSize> bytes{};
  std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(index * kArchiveRecordSize),
              kArchiveRecordSize, bytes.begin());
  return ArchiveRecord::Parse(bytes);
}

class ArchiveFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("kestravuna-archive-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder_ = root_ / "folder");
    fs::create_directories(restored_ = root_ / "restored");
    cacheHome_ = root_ / "cache";
    tempDir_ = cacheHome_ / "kestravuna";
    archive_ = root_ / "archive.cry";
    ::setenv("XDG_CACHE_HOME", cacheHome_.c_str(), 1);
    progress_.status = [this](std::string_view text) {
      events_.push_back("status " + std::string(text));
    };
    progress_.pumpMessages = [this] { events_.push_back("pump"); };
  }

  void TearDown() override {
    ::unsetenv("XDG_CACHE_HOME");
    // Read-only files inside are no obstacle: removal needs write access to the folders only.
    fs::remove_all(root_);
  }

  // Names in the private temporary directory; empty when it was never made.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    if (!fs::exists(tempDir_)) return names;
    for (const auto& entry : fs::directory_iterator(tempDir_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  static std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_, folder_, restored_, cacheHome_, tempDir_, archive_;
  ArchiveProgress progress_;
  std::vector<std::string> events_;
};

}  // namespace kestravuna::testing
