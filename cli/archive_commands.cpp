// pack, unpack and list: the folder archive without the protect and restore sequences.
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "archive/archive_record.h"
#include "archive/pack_folder.h"
#include "archive/unpack_archive.h"
#include "cli/cli_support.h"
#include "cli/console.h"
#include "cli/run_report.h"
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

ArchiveProgress ProgressOf(FileStatusProgress& progress) {
  return {[&progress](std::string_view text) { progress.Status(text); }, {}};
}

int RunPack(std::span<const std::string> args) {
  ExpectArguments(args, 2, "Erwartet werden ORDNER und ARCHIV.");
  const fs::path folder = ExistingFolder(args[0]);
  const fs::path archive = platform::PathFromUtf8(args[1]);
  const FolderFiles files = FilesToPack(folder);
  RunReport report(files.totalBytes);
  FileStatusProgress progress(report, files.sizes);
  PackFolder(folder, archive, ProgressOf(progress));
  report.Finish(report.ResultLine("Gepackt", progress.FilesBegun(), files.totalBytes,
                                  platform::File::OpenRead(archive).Size()));
  return kExitSuccess;
}

int RunUnpack(std::span<const std::string> args) {
  ExpectArguments(args, 2, "Erwartet werden ARCHIV und ORDNER.");
  const fs::path archive = platform::PathFromUtf8(args[0]);
  const fs::path folder = ExistingFolder(args[1]);
  std::map<std::string, std::int64_t> sizes;
  std::int64_t fileBytes = 0;
  for (const ArchiveEntry& entry : ReadArchiveDirectory(archive)) {
    sizes[entry.name] = entry.size;
    fileBytes += entry.size;
  }
  RunReport report(fileBytes);
  FileStatusProgress progress(report, sizes);
  const UnpackedFiles unpacked = UnpackArchive(folder, archive, ProgressOf(progress));
  for (const KeptFile& kept : unpacked.kept) {
    report.Note("Behalten: " + kept.name + "; die Fassung aus dem Archiv heißt " +
                kept.archivedCopy);
  }
  report.Finish(report.ResultLine("Entpackt", unpacked.files.size(),
                                  platform::File::OpenRead(archive).Size(), fileBytes));
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
    char line[32];
    std::snprintf(line, sizeof line, "%c%c%c%c %10u ", flag(attr::kArchive, 'A'),
                  flag(attr::kSystem, 'S'), flag(attr::kHidden, 'H'), flag(attr::kReadOnly, 'R'),
                  entry.size);
    WriteText(stdout, line + entry.name + "\n");
    totalSize += entry.size;
  }
  WriteText(stdout,
            std::to_string(entries.size()) + " Dateien, " + std::to_string(totalSize) + " Bytes\n");
}

int RunList(std::span<const std::string> args) {
  ExpectArguments(args, 1, "Erwartet wird eine Datei.");
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
     "Packt die Dateien von ORDNER (eine Ebene) in das unkomprimierte ARCHIV.",
     "Unterordner und Einträge, die keine gewöhnlichen Dateien sind (Verknüpfungen,\n"
     "Geräte), werden nicht gepackt. "
     "Eine vorhandene Datei ARCHIV wird ersetzt;\nORDNER bleibt, wie er ist.",
     RunPack},
    {"unpack", "ARCHIV ORDNER", "Stellt jede Datei des unkomprimierten ARCHIVs in ORDNER her.",
     "Eine Datei in ORDNER, die anders ist als ihre Fassung im Archiv, bleibt; die\n"
     "archivierte Fassung kommt als \"NAME (archiviert)\" daneben.",
     RunUnpack},
    {"list", "DATEI",
     "Listet die Dateien eines Archivs oder des Archivs in einem Container (CHIFF.CRY).",
     "Je Datei eine Zeile auf der Standardausgabe: Attribute (A Archiv, S System,\n"
     "H versteckt, R schreibgeschützt), Größe in Bytes und Name; am Ende die Summe.",
     RunList},
};

}  // namespace

std::span<const Command> ArchiveCommands() { return kArchiveCommands; }

}  // namespace kestravuna::cli
