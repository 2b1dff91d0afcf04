// Arbitrary bytes as an archive: ReadArchiveDirectory and UnpackArchive may only end in the
// archive's own errors, must agree with each other, and must never write outside the folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/unpack_archive.h"
#include "platform/io_error.h"

namespace {

namespace fs = std::filesystem;

struct Paths {
  fs::path root, archive, folder, cacheHome;
};

const Paths& FuzzPaths() {
  static const Paths paths = [] {
    // RAM-backed where possible: every run writes and deletes files.
    const fs::path base =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path root =
        base / ("kestravuna-fuzz-unpack-" + std::to_string(std::random_device{}()));
    return Paths{root, root / "archive.cry", root / "folder", root / "cache"};
  }();
  return paths;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const Paths& paths = FuzzPaths();
  fs::create_directories(paths.folder);
  ::setenv("XDG_CACHE_HOME", paths.cacheHome.c_str(), 1);
  std::atexit([] { fs::remove_all(FuzzPaths().root); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestravuna;
  const Paths& paths = FuzzPaths();
  {
    std::ofstream out(paths.archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  std::vector<ArchiveEntry> directory;
  bool directoryValid = true;
  try {
    directory = ReadArchiveDirectory(paths.archive);
  } catch (const EArchiveError&) {
    directoryValid = false;
  } catch (const platform::EInOutError&) {
    directoryValid = false;
  }

  bool unpacked = true;
  std::vector<KeptFile> kept;
  try {
    kept = UnpackArchive(paths.folder, paths.archive, {}).kept;
  } catch (const EArchiveError&) {
    unpacked = false;
  } catch (const platform::EInOutError&) {
    unpacked = false;  // also a stored name too long for this file system
  }

  // Nothing appears beside the folder, and the folder holds plain files only.
  for (const std::string& name : Names(paths.root)) {
    Check(name == "archive.cry" || name == "folder" || name == "cache");
  }
  std::map<std::string, std::uintmax_t> written;
  for (const auto& entry : fs::directory_iterator(paths.folder)) {
    Check(entry.is_regular_file() && !entry.is_symlink());
    written[entry.path().filename().string()] = entry.file_size();
  }

  if (!directoryValid) {
    Check(!unpacked && written.empty());  // a damaged directory writes nothing
  } else if (unpacked) {
    // A repeated name keeps its first file; a later one with other contents comes beside it
    // under the name UnpackArchive returns. Nothing else appears, and every file has the size
    // of an entry it came from.
    std::map<std::string, std::vector<std::uintmax_t>> sizesByName;
    for (const ArchiveEntry& entry : directory) sizesByName[entry.name].push_back(entry.size);
    for (const KeptFile& file : kept) {
      Check(sizesByName.contains(file.name));
      for (const std::uintmax_t archived : sizesByName[file.name]) {
        sizesByName[file.archivedCopy].push_back(archived);
      }
    }
    Check(written.size() == sizesByName.size());
    for (const auto& [name, bytes] : written) {
      const auto found = sizesByName.find(name);
      Check(found != sizesByName.end() &&
            std::ranges::find(found->second, bytes) != found->second.end());
    }
  }

  for (const auto& entry : fs::directory_iterator(paths.folder)) {
    fs::remove(entry.path());
  }
  return 0;
}
