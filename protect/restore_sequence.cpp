// The restore run. The container and the password record stay until every file has been
// recreated and has reached the disk, so a restore stopped at any point can be run again.
// The container is decoded straight into the unpacker: each file is written under a temporary
// name as its bytes come, and only once the whole container has decoded without a fault do
// the files take their names, so a damaged or cut-off container never touches a file of the
// folder. (CHIFF.TMP, where earlier versions decompressed the archive, is still removed.)
// A file the folder holds under an archived name is never overwritten unless it has the
// archived contents: a file changed since the protect keeps its name and the archived copy
// goes beside it, which the user is told at the end.
//
// A CHIFF.CRY that is not a container is a plain archive: the packer's output of a protect
// run that stopped before it deleted anything, or of an interrupted restore of earlier
// versions, which left the plain archive under that name beside the record. It is a leftover,
// removed without a password, only when it begins as the packer's archives do and every file
// it holds is in the folder as archived, so removing it loses nothing. Otherwise, with a
// record, it is unpacked directly after the password test; without one it is someone else's
// archive, and the run is refused.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/unpack_archive.h"
#include "compress/byte_stream.h"
#include "compress/container_format.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/utf8_path.h"
#include "protect/container_check.h"
#include "protect/detail/run_support.h"
#include "protect/folder_protector.h"
#include "protect/password_record.h"

namespace kestravuna {

namespace {

// The container first: whatever a stop leaves behind then no longer looks protected, and
// the next protect clears it away.
void DeleteRunFiles(const std::filesystem::path& folder) {
  DeleteIfPresent(folder / kContainerName);
  DeleteIfPresent(folder / kRecordName);
  DeleteIfPresent(folder / kCompressorOutputName);
  platform::SyncDirectory(folder);
}

// The decompressor's output, handed to the unpacker as it comes. Its failures are exceptions,
// which pass through the decompressor unchanged.
class UnpackingStream final : public ByteStream {
 public:
  explicit UnpackingStream(ArchiveUnpacker& unpacker) : unpacker_(unpacker) {}

  std::int64_t Read(std::span<std::uint8_t>) override { return -1; }
  std::int64_t Write(std::span<const std::uint8_t> data) override {
    unpacker_.Write(data);
    written_ += static_cast<std::int64_t>(data.size());
    return static_cast<std::int64_t>(data.size());
  }
  // Only where it stands: the end of what was written.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    const std::int64_t target = origin == SeekOrigin::Begin ? offset : written_ + offset;
    return target == written_ ? written_ : -1;
  }
  std::int64_t Size() override { return written_; }

 private:
  ArchiveUnpacker& unpacker_;
  std::int64_t written_ = 0;
};

// The container's size field: the size of the archive it holds.
std::int64_t ArchiveSizeOf(platform::File& container) {
  std::array<std::uint8_t, kContainerHeaderSize> header{};
  container.ReadExact(header);
  return ContainerSize(std::span(header).last<kContainerFieldSize>());
}

void SyncRecreatedFiles(const std::filesystem::path& folder, const UnpackedFiles& unpacked) {
  platform::SyncFiles(unpacked.files);
  platform::SyncDirectory(folder);
}

bool IsLeftoverOfProtect(const std::filesystem::path& folder) {
  const std::filesystem::path container = folder / kContainerName;
  return BeginsLikeArchive(container) && FolderHoldsArchive(folder, container);
}

// Every way through a restore ends by removing the container, the record and CHIFF.TMP.
void RefuseUnfinishableRestore(const std::filesystem::path& folder) {
  for (const std::string_view name : {kContainerName, kRecordName, kCompressorOutputName}) {
    if (platform::FileExists(folder / name)) {
      RefuseUndeletable(folder / name, ProtectFault::RestoreNotFinishable);
    }
  }
}

// One line per kept file: its name and where its archived copy went.
std::string KeptFilesList(const std::vector<KeptFile>& kept) {
  std::string list;
  for (const KeptFile& file : kept) list += "\n" + file.name + " → " + file.archivedCopy;
  return list;
}

}  // namespace

void FolderProtector::DecodeFolder(std::string_view password) {
  if (busy_) return;
  const std::filesystem::path folder = currentFolder_;
  const platform::FolderLock lock = LockFolder(folder);
  const std::filesystem::path container = folder / kContainerName;
  // CHIFF.TMP is the compressor's output that a stopped protect (or an earlier version's
  // restore) leaves, and every way out of a restore removes it: someone else's file under
  // that name is refused.
  RefuseForeignFile(folder / kCompressorOutputName);
  if (platform::KindOfEntry(container) == platform::EntryKind::Other) {
    throw EProtectError(ProtectFault::ForeignFile, std::string(kContainerName));
  }
  RefuseUnfinishableRestore(folder);
  const bool plainArchive = platform::FileExists(container) && !IsContainerFile(container);

  if (plainArchive && IsLeftoverOfProtect(folder)) {
    Run run(*this);
    view_.ShowStatus("Dekodierung läuft...");
    DeleteRunFiles(folder);
    FinishRestore(run, folder, {});
    return;
  }
  if (plainArchive && BeginsLikeArchive(container) && !platform::FileExists(folder / kRecordName)) {
    throw EProtectError(ProtectFault::UnknownPlainArchive);
  }

  if (!PasswordAccepted(password, ReadPasswordRecord(folder / kRecordName))) {
    view_.ShowMessage(WrongPasswordBox());
    return;
  }

  Run run(*this);
  view_.ShowStatus("Dekodierung läuft...");
  const UnpackedFiles unpacked =
      plainArchive ? UnpackArchive(folder, container, ProgressFor(view_)) : DecodeContainer(folder);
  SyncRecreatedFiles(folder, unpacked);
  DeleteRunFiles(folder);
  FinishRestore(run, folder, unpacked.kept);
}

UnpackedFiles FolderProtector::DecodeContainer(const std::filesystem::path& folder) {
  const std::filesystem::path container = folder / kContainerName;
  platform::File containerFile = platform::File::OpenRead(container);
  // The files are opened to others no further than the container is.
  ArchiveUnpacker unpacker(folder, ArchiveSizeOf(containerFile), containerFile.Access(),
                           ProgressFor(view_));
  containerFile.Close();
  FileStream input(container, FileStream::Mode::Read);
  UnpackingStream output(unpacker);
  {
    // The component keeps no pointer to the streams once the run has ended, however it ends.
    struct StreamsOfThisRun {
      TZarLZ& pack;
      ~StreamsOfThisRun() { pack.InputStream = pack.OutputStream = nullptr; }
    } streams{pack};
    pack.Visible = false;
    pack.UseStream = true;
    pack.InputStream = &input;
    pack.OutputStream = &output;
    pack.CompressMode = TCompressMode::Good;
    pack.Decompress();
  }
  return unpacker.Finish();
}

void FolderProtector::FinishRestore(Run& run, const std::filesystem::path& folder,
                                    const std::vector<KeptFile>& kept) {
  run.HideWaitWindow();
  view_.ShowStatus("Dekodierung abgeschlossen.");
  scan_.ResetStatistics();
  scan_.ScanFolder(folder);
  view_.ShowProgress(100);
  if (!kept.empty()) {
    view_.ShowMessage(KeptFilesBox(KeptFilesList(kept)));
  }
}

}  // namespace kestravuna
