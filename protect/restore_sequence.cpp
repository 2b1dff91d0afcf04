// The restore run. The container and the password record stay until every file has been
// recreated and has reached the disk, so a restore stopped at any point can be run again.
// Every step acts on the folder that was locked, wherever its path leads meanwhile.
// The container is decoded straight into the unpacker: each file is written as a staged file
// as its bytes come, and only once the whole container has decoded without a fault, and every
// file's place is settled, do the files take their names, so a damaged or cut-off container
// never touches a file of the folder. A file the folder holds under an archived name is never
// overwritten unless it has the archived contents: a file changed since the protect keeps its
// name and the archived copy goes beside it, which the user is told at the end. An archived
// file under one of the program's own names comes back beside it the same way, since the run
// removes those names at its end.
//
// A CHIFF.CRY that is not a container is a plain archive: the packer's output of a protect
// run that stopped before it deleted anything. It is a leftover, removed without a password,
// only when it begins as the packer's archives do and every file it holds is in the folder as
// archived, so removing it loses nothing; a CHIFF.TMP beside it goes with it only when it is
// that archive's compressor output, whole or cut short. Otherwise, with a record, the plain
// archive is unpacked directly after the password test; without one it is someone else's
// archive, and the run is refused. A CHIFF.TMP found otherwise is not the run's, and stays.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/unpack_archive.h"
#include "compress/byte_stream.h"
#include "compress/container_format.h"
#include "compress/zarlz.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "protect/container_check.h"
#include "protect/detail/run_support.h"
#include "protect/folder_protector.h"
#include "protect/password_record.h"
#include "seal/sealed_container.h"

namespace kestravuna {

namespace {

// The container first: whatever a stop leaves behind then no longer looks protected, and
// the next protect clears it away. Beside a plain archive, CHIFF.TMP goes before it when it is
// that archive's compressor output, which only the archive can tell.
void DeleteRunFiles(const std::filesystem::path& folder, bool plainArchive,
                    std::string_view password) {
  const std::filesystem::path compressed = folder / kCompressorOutputName;
  if (plainArchive && IsCompressionOf(compressed, folder / kContainerName, password)) {
    platform::DeleteFile(compressed);
  }
  DeleteIfPresent(folder / kContainerName);
  DeleteIfPresent(folder / kRecordName);
  platform::SyncDirectory(folder);
}

// The names a restore removes at its end; an archived file of such a name comes back beside.
std::vector<std::string> RunFileNames() {
  return {std::string(kContainerName), std::string(kRecordName),
          std::string(kCompressorOutputName)};
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

// The folder's encrypted container, opened with the entered password: the file, its header, the
// key derived from the password, and the legacy container inside.
class OpenedSealedContainer {
 public:
  OpenedSealedContainer(const std::filesystem::path& container, std::string_view password)
      : file_(container, FileStream::Mode::Read),
        header_(ReadSealHeader(file_)),
        key_(SealKey::ForContainer(password, header_)),
        contents_(file_, header_, key_) {}

  UnsealingStream& Contents() { return contents_; }

 private:
  FileStream file_;
  SealHeader header_;
  SealKey key_;
  UnsealingStream contents_;
};

void SyncRecreatedFiles(const std::filesystem::path& folder, const UnpackedFiles& unpacked) {
  platform::SyncFiles(unpacked.files);
  platform::SyncDirectory(folder);
}

bool IsLeftoverOfProtect(const std::filesystem::path& folder) {
  const std::filesystem::path container = folder / kContainerName;
  return BeginsLikeArchive(container) && FolderHoldsArchive(folder, container);
}

// Every way through a restore ends by removing the container and the record.
void RefuseUnfinishableRestore(const std::filesystem::path& folder) {
  for (const std::string_view name : {kContainerName, kRecordName}) {
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
  const platform::FolderLock lock = LockFolder(currentFolder_);
  const std::filesystem::path& folder = lock.Folder();
  const std::filesystem::path container = folder / kContainerName;
  const std::filesystem::path compressed = folder / kCompressorOutputName;
  if (platform::KindOfEntry(container) == platform::EntryKind::Other) {
    throw EProtectError(ProtectFault::ForeignFile, std::string(kContainerName));
  }
  RefuseUnfinishableRestore(folder);
  const bool sealed = IsSealedFile(container);
  const bool plainArchive =
      platform::FileExists(container) && !sealed && !IsContainerFile(container);

  if (plainArchive && IsLeftoverOfProtect(folder)) {
    // An encrypted compressor output goes only with the password that made it.
    if (CheckSealedKey(compressed, password) == SealedKeyCheck::Refuses) {
      view_.ShowMessage(WrongPasswordBox());
      return;
    }
    Run run(*this);
    view_.ShowStatus("Dekodierung läuft...");
    DeleteRunFiles(folder, true, password);
    FinishRestore(run, folder, {});
    return;
  }
  if (plainArchive && BeginsLikeArchive(container) && !platform::FileExists(folder / kRecordName)) {
    throw EProtectError(ProtectFault::UnknownPlainArchive);
  }

  // An encrypted container tests the password itself; its record holds nothing of it.
  std::optional<OpenedSealedContainer> opened;
  if (sealed) {
    opened.emplace(container, password);
    if (!opened->Contents().Unlock()) {
      view_.ShowMessage(WrongPasswordBox());
      return;
    }
  } else if (!PasswordAccepted(password, ReadPasswordRecord(folder / kRecordName)) &&
             !(plainArchive && CheckSealedKey(compressed, password) == SealedKeyCheck::Opens)) {
    // Beside the plain archive of an encrypted protect, its compressor output tests it.
    view_.ShowMessage(WrongPasswordBox());
    return;
  }

  Run run(*this);
  view_.ShowStatus("Dekodierung läuft...");
  const UnpackedFiles unpacked =
      plainArchive ? UnpackArchive(folder, container, ProgressFor(view_), RunFileNames())
                   : DecodeContainer(folder, opened ? &opened->Contents() : nullptr);
  SyncRecreatedFiles(folder, unpacked);
  DeleteRunFiles(folder, plainArchive, password);
  FinishRestore(run, folder, unpacked.kept);
}

UnpackedFiles FolderProtector::DecodeContainer(const std::filesystem::path& folder,
                                               UnsealingStream* sealedContents) {
  const std::filesystem::path container = folder / kContainerName;
  // The files are opened to others no further than the container is.
  const platform::FileAccess access = platform::File::OpenRead(container).Access();
  std::optional<FileStream> file;
  if (sealedContents == nullptr) file.emplace(container, FileStream::Mode::Read);
  ByteStream& contents =
      sealedContents != nullptr ? static_cast<ByteStream&>(*sealedContents) : *file;
  // The container's size field: the size of the archive it holds.
  std::array<std::uint8_t, kContainerHeaderSize> header{};
  if (ReadFully(contents, header) != static_cast<std::int64_t>(header.size())) {
    if (sealedContents != nullptr) sealedContents->RaiseFault();
    throw platform::EInOutError(platform::io_error::kReadBeyondEnd, container);
  }
  ArchiveUnpacker unpacker(folder, ContainerSize(std::span(header).last<kContainerFieldSize>()),
                           access, ProgressFor(view_), RunFileNames());
  ReplayingStream input(header, contents);
  UnpackingStream output(unpacker);
  pack_.Visible = false;
  runProgress_.BeginStep(0, kProgressDecoded);
  try {
    pack_.Decompress(input, output);
  } catch (const ELzrw1Exception& error) {
    // A chunk that failed its check stopped the decoder: that is what the user must learn.
    if (sealedContents != nullptr) sealedContents->RaiseFault();
    // The component's stream texts end where a file mode text names its file: the user
    // learns which file could not be read.
    const std::string text = error.what();
    if (!text.ends_with(": ")) throw;
    throw ELzrw1Exception(text + std::string(kContainerName));
  }
  // No file takes its name before the whole container has authenticated.
  if (sealedContents != nullptr && !sealedContents->ReadToEnd()) {
    throw platform::EInOutError(platform::io_error::kDeviceError, container);
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
