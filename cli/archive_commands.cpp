// pack, unpack and list: the folder archive without the protect and restore sequences.
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "archive/pack_folder.h"
#include "archive/unpack_archive.h"
#include "cli/cli_support.h"
#include "compress/container_format.h"
#include "compress/zarlz.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/folder_listing.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"

namespace kestravuna::cli {

namespace {

namespace fs = std::filesystem;

// The decompressed archive of a container being listed, in the private temporary directory.
constexpr std::string_view kListTempPrefix = "list-";

void RequireArgumentCount(std::span<const std::string> args, std::size_t count) {
  if (args.size() != count) throw UsageError("Falsche Anzahl von Argumenten.");
}

ArchiveProgress StatusOnStandardError() { return {PrintStatus, {}}; }

int RunPack(std::span<const std::string> args) {
  RequireArgumentCount(args, 2);
  PackFolder(platform::PathFromUtf8(args[0]), platform::PathFromUtf8(args[1]),
             StatusOnStandardError());
  return kExitSuccess;
}

int RunUnpack(std::span<const std::string> args) {
  RequireArgumentCount(args, 2);
  for (const KeptFile& kept :
       UnpackArchive(platform::PathFromUtf8(args[1]), platform::PathFromUtf8(args[0]),
                     StatusOnStandardError())
           .kept) {
    PrintStatus("Behalten: " + kept.name + "; die Fassung aus dem Archiv heißt " +
                kept.archivedCopy);
  }
  return kExitSuccess;
}

// Deletes the decompressed copy however the listing ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    try {
      platform::DeleteFile(path_);
    } catch (const platform::EInOutError&) {
      // Never created (the decompression failed first) or already gone.
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

void PrintDirectory(const fs::path& archive) {
  std::uint64_t totalSize = 0;
  const auto entries = ReadArchiveDirectory(archive);
  for (const ArchiveEntry& entry : entries) {
    const auto flag = [&entry](std::uint32_t bit, char letter) {
      return (entry.attributes & bit) != 0 ? letter : '-';
    };
    namespace attr = platform::attr;
    std::printf("%c%c%c%c %10u %s\n", flag(attr::kArchive, 'A'), flag(attr::kSystem, 'S'),
                flag(attr::kHidden, 'H'), flag(attr::kReadOnly, 'R'), entry.size,
                entry.name.c_str());
    totalSize += entry.size;
  }
  std::printf("%zu Dateien, %llu Bytes\n", entries.size(),
              static_cast<unsigned long long>(totalSize));
}

int RunList(std::span<const std::string> args) {
  RequireArgumentCount(args, 1);
  const fs::path file = platform::PathFromUtf8(args[0]);
  if (!IsContainerFile(file)) {
    PrintDirectory(file);
    return kExitSuccess;
  }
  // A name of this run's own, so that listings running at the same time never meet.
  const TemporaryFile archive(
      platform::File::CreateUnique(platform::PrivateTempDir(), kListTempPrefix).second);
  TZarLZ decompressor;
  decompressor.InputFile = platform::Utf8Of(file);
  decompressor.OutputFile = platform::Utf8Of(archive.Path());
  decompressor.Decompress();
  PrintDirectory(archive.Path());
  return kExitSuccess;
}

constexpr Command kArchiveCommands[] = {
    {"pack", "ORDNER ARCHIV",
     "Packt die Dateien von ORDNER (eine Ebene) in das unkomprimierte ARCHIV.", RunPack},
    {"unpack", "ARCHIV ORDNER", "Stellt jede Datei des unkomprimierten ARCHIVs in ORDNER her.",
     RunUnpack},
    {"list", "DATEI",
     "Listet die Dateien eines Archivs oder des Archivs in einem Container (CHIFF.CRY): "
     "Attribute (Archiv, System, versteckt, schreibgeschützt), Größe und Name.",
     RunList},
};

}  // namespace

std::span<const Command> ArchiveCommands() { return kArchiveCommands; }

}  // namespace kestravuna::cli
