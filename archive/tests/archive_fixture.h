// A fresh folder tree per test: the folder to pack, a folder to unpack into, and a private
// temporary directory of its own (XDG_CACHE_HOME, put back when the test ends).
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
#include "test_support/bytes.h"
#include "test_support/environment.h"
#include "test_support/temp_folder.h"

namespace kestravuna::test_support {

namespace fs = std::filesystem;
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

class ArchiveFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = area_.path();
    fs::permissions(root_, fs::perms(0755));  // the ordinary-user cases work in it as well
    fs::create_directories(folder_ = root_ / "folder");
    fs::create_directories(restored_ = root_ / "restored");
    cacheHome_ = root_ / "cache";
    tempDir_ = cacheHome_ / "kestravuna";
    archive_ = root_ / "archive.cry";
    progress_.status = [this](std::string_view text) {
      events_.push_back("status " + std::string(text));
    };
    progress_.pumpMessages = [this] { events_.push_back("pump"); };
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

  TempFolder area_;
  fs::path root_, folder_, restored_, cacheHome_, tempDir_, archive_;
  ScopedEnvironment cacheVariable_{"XDG_CACHE_HOME", (area_ / "cache").string()};
  ArchiveProgress progress_;
  std::vector<std::string> events_;
};

}  // namespace kestravuna::test_support
