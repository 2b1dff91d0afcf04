#include "protect/folder_verify.h"

#include <algorithm>
#include <array>
#include <exception>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "archive/archive_error.h"
#include "archive/archive_record.h"
#include "archive/unpack_archive.h"
#include "compress/byte_stream.h"
#include "compress/container_format.h"
#include "compress/zarlz.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "protect/container_check.h"
#include "protect/detail/run_support.h"
#include "protect/folder_protector.h"
#include "protect/password_record.h"
#include "seal/sealed_container.h"

namespace kestravuna {

namespace {

namespace fs = std::filesystem;

// The archive is read in pieces of this size when it is checked without a decoder.
constexpr std::size_t kReadChunk = 64 * 1024;

// A finding of the check: what is damaged, as the user is told it.
class DamageFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The container file read by the decoder, reporting how far it has got. A failed read is kept
// and raised again after the decoder has given up, so that an unreadable disk is not taken
// for a damaged container.
class ReportingStream final : public ByteStream {
 public:
  ReportingStream(const fs::path& file, const VerifyProgress& progress)
      : file_(platform::File::OpenRead(file)), size_(file_.Size()), progress_(progress) {}

  std::int64_t Read(std::span<std::uint8_t> buffer) override {
    try {
      const std::size_t got = file_.Read(buffer);
      position_ += static_cast<std::int64_t>(got);
      if (progress_.bytes) progress_.bytes(position_, size_);
      return static_cast<std::int64_t>(got);
    } catch (const platform::EInOutError&) {
      readError_ = std::current_exception();
      return -1;
    }
  }
  std::int64_t Write(std::span<const std::uint8_t>) override { return -1; }
  // The decoder only asks where it stands.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return offset == 0 && origin == SeekOrigin::Current ? position_ : -1;
  }
  std::int64_t Size() override { return size_; }

  void RaiseReadError() const {
    if (readError_) std::rethrow_exception(readError_);
  }

 private:
  platform::File file_;
  std::int64_t size_;
  std::int64_t position_ = 0;
  const VerifyProgress& progress_;
  std::exception_ptr readError_;
};

// Takes the archive as the decoder produces it and checks it on the way, storing nothing but
// its directory: the identification, the directory as the unpacker checks it before it writes,
// and data that fills the archive exactly, file after file.
class ArchiveCheckingStream final : public ByteStream, private ArchiveSplitter::Receiver {
 public:
  ArchiveCheckingStream(std::int64_t archiveSize, const VerifyProgress& progress,
                        VerifyResult& result)
      : archiveSize_(archiveSize),
        progress_(progress),
        result_(result),
        splitter_(archiveSize, *this) {}

  std::int64_t Read(std::span<std::uint8_t>) override { return -1; }
  std::int64_t Write(std::span<const std::uint8_t> data) override {
    const auto size = static_cast<std::int64_t>(data.size());
    written_ += size;
    splitter_.Write(data);
    return size;
  }
  // Only where it stands: the end of what was written.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    const std::int64_t target = origin == SeekOrigin::Begin ? offset : written_ + offset;
    return target == written_ ? written_ : -1;
  }
  std::int64_t Size() override { return written_; }

  // Once every byte has come.
  void Finish() const {
    if (!splitter_.DirectoryIsChecked()) {
      throw DamageFound("Das Archiv endet vor dem Ende seines Verzeichnisses.");
    }
    if (written_ != archiveSize_) {
      throw DamageFound("Das Archiv ist kürzer, als sein Container angibt.");
    }
  }

 private:
  void HeaderArrived(std::span<const std::uint8_t> header) override {
    const auto beginning = ArchiveBeginning();
    if (!std::equal(beginning.begin(), beginning.end(), header.begin())) {
      throw DamageFound("Das Archiv beginnt nicht mit der Kennung eines Kestravuna-Archivs.");
    }
  }

  void DirectoryChecked(std::span<const ArchiveEntry> entries) override {
    std::int64_t dataBytes = 0;
    for (const ArchiveEntry& entry : entries) dataBytes += entry.size;
    result_.fileCount = entries.size();
    result_.fileBytes = dataBytes;
    // The unpacker ignores bytes behind the last file; the packer never writes any, so there
    // they mean that the directory's sizes are not the archive's.
    const std::int64_t dataEnd = DataAreaStart(entries.size()) + dataBytes;
    if (dataEnd != archiveSize_) {
      throw DamageFound("Die Größen der Dateien ergeben " + std::to_string(dataEnd) +
                        " Bytes, das Archiv hat " + std::to_string(archiveSize_) + ".");
    }
  }

  void FileBegins(std::size_t index) override {
    if (progress_.file) progress_.file(splitter_.Entries()[index].name);
  }
  void FileBytes(std::span<const std::uint8_t>) override {}
  void FileEnds() override {}

  std::int64_t archiveSize_;
  const VerifyProgress& progress_;
  VerifyResult& result_;
  ArchiveSplitter splitter_;
  std::int64_t written_ = 0;
};

// A message of the component or the archive as part of a sentence: without the separator
// the stream-mode texts end in, and without a closing full stop.
std::string Clause(std::string_view message) {
  while (!message.empty() &&
         (message.back() == ' ' || message.back() == ':' || message.back() == '.')) {
    message.remove_suffix(1);
  }
  return std::string(message);
}

// Decodes the legacy container that `file` holds, or for an encrypted container the one in
// `sealed`, and checks the archive inside on the way.
void CheckCompressedContainer(ReportingStream& file, UnsealingStream* sealed,
                              const VerifyProgress& progress, VerifyResult& result) {
  ByteStream& input = sealed != nullptr ? static_cast<ByteStream&>(*sealed) : file;
  std::array<std::uint8_t, kContainerHeaderSize> header{};
  if (ReadFully(input, header) != static_cast<std::int64_t>(header.size())) {
    file.RaiseReadError();
    if (sealed != nullptr) sealed->RaiseFault();
    throw DamageFound("Der Container endet in seinem Kopf.");
  }
  ArchiveCheckingStream output(ContainerSize(std::span(header).last<kContainerFieldSize>()),
                               progress, result);
  ReplayingStream replayed(header, input);
  TZarLZ decoder;
  try {
    decoder.Decompress(replayed, output);
  } catch (const ELzrw1Exception& error) {
    file.RaiseReadError();
    if (sealed != nullptr) sealed->RaiseFault();
    throw DamageFound("Die komprimierten Daten sind beschädigt oder abgeschnitten (" +
                      Clause(error.what()) + ").");
  }
  output.Finish();
  std::int64_t containerBytes = result.containerBytes;
  if (sealed != nullptr) {
    if (!sealed->ReadToEnd()) file.RaiseReadError();
    containerBytes = sealed->Size();
  }
  const std::int64_t unused =
      containerBytes - static_cast<std::int64_t>(kContainerHeaderSize) - decoder.BodyBytesUsed();
  if (unused != 0) {
    throw DamageFound("Die komprimierten Daten sind beschädigt: Sie enden " +
                      std::to_string(unused) + " Bytes vor dem Ende des Containers.");
  }
}

// An encrypted container: its header always; with a password the key check, every chunk and the
// legacy container inside, as a restore reads them.
void CheckSealedContainer(const fs::path& container, const std::optional<std::string>& password,
                          const VerifyProgress& progress, VerifyResult& result) {
  result.encrypted = true;
  ReportingStream file(container, progress);
  const SealHeader header = ReadSealHeader(file);
  if (!password) return;
  result.passwordChecked = true;
  const SealKey key = SealKey::ForContainer(*password, header);
  UnsealingStream contents(file, header, key);
  if (!contents.Unlock()) {
    result.verdict = VerifyVerdict::WrongPassword;
    result.finding =
        "Das Passwort ist falsch: Es öffnet den verschlüsselten Container CHIFF.CRY nicht.";
    return;
  }
  CheckCompressedContainer(file, &contents, progress, result);
}

// A plain archive is checked as the decoder would hand it over.
void CheckPlainArchive(const fs::path& archive, const VerifyProgress& progress,
                       VerifyResult& result) {
  ReportingStream input(archive, progress);
  ArchiveCheckingStream output(input.Size(), progress, result);
  std::vector<std::uint8_t> chunk(kReadChunk);
  for (;;) {
    const std::int64_t got = input.Read(chunk);
    input.RaiseReadError();
    if (got <= 0) break;
    output.Write(std::span(chunk).first(static_cast<std::size_t>(got)));
  }
  output.Finish();
  result.plainArchive = true;
}

void CheckContainerFile(const fs::path& container, const std::optional<std::string>& password,
                        const VerifyProgress& progress, VerifyResult& result) {
  const std::string name = platform::Utf8Of(container.filename());
  if (platform::KindOfEntry(container) != platform::EntryKind::PlainFile) {
    throw DamageFound(name + " ist keine gewöhnliche Datei.");
  }
  result.containerBytes = platform::File::OpenRead(container).Size();
  try {
    if (IsContainerFile(container)) {
      ReportingStream file(container, progress);
      CheckCompressedContainer(file, nullptr, progress, result);
    } else if (IsSealedFile(container)) {
      CheckSealedContainer(container, password, progress, result);
    } else if (BeginsLikeArchive(container)) {
      CheckPlainArchive(container, progress, result);
    } else {
      throw DamageFound(name + " ist weder ein Container noch ein Archiv von Kestravuna.");
    }
  } catch (const EArchiveError& error) {
    throw DamageFound("Das Verzeichnis des Archivs ist beschädigt: " + Clause(error.what()) + ".");
  } catch (const ESealError& error) {
    throw DamageFound(error.what());
  }
}

std::string RecordFinding(RecordState state) {
  switch (state) {
    case RecordState::Missing:
      return "Der Passwort-Datensatz CHIFF.CRD fehlt; ohne ihn lässt sich der Ordner nicht "
             "wiederherstellen.";
    case RecordState::NotAFile:
      return "CHIFF.CRD ist keine gewöhnliche Datei.";
    case RecordState::Unreadable:
      return "Der Passwort-Datensatz CHIFF.CRD kann nicht gelesen werden.";
    case RecordState::Damaged:
      return "Der Passwort-Datensatz CHIFF.CRD ist beschädigt.";
    case RecordState::Sound:
      break;
  }
  return {};
}

VerifyResult Damaged(VerifyResult result, std::string finding) {
  result.verdict = VerifyVerdict::Damaged;
  result.finding = std::move(finding);
  return result;
}

}  // namespace

VerifyResult VerifyFolder(const fs::path& chosenFolder, const std::optional<std::string>& password,
                          const VerifyProgress& progress) {
  const platform::FolderLock lock = LockFolder(chosenFolder);
  // Everything is read from the folder that was locked, wherever its path leads meanwhile.
  const fs::path& folder = lock.Folder();
  VerifyResult result;
  const fs::path container = folder / kContainerName;
  const fs::path record = folder / kRecordName;
  if (platform::KindOfEntry(container) == platform::EntryKind::Missing) {
    result.verdict = VerifyVerdict::NotProtected;
    result.finding = platform::KindOfEntry(record) == platform::EntryKind::Missing
                         ? "Der Ordner ist nicht geschützt: Er enthält kein CHIFF.CRY."
                         : "Der Ordner ist nicht geschützt: Er enthält kein CHIFF.CRY, nur "
                           "CHIFF.CRD (von einem abgebrochenen Lauf).";
    return result;
  }
  // A protect stopped before it deleted anything leaves its plain archive beside every file;
  // the next run removes it.
  if (!IsContainerFile(container) && BeginsLikeArchive(container) &&
      platform::KindOfEntry(record) == platform::EntryKind::Missing &&
      FolderHoldsArchive(folder, container)) {
    result.verdict = VerifyVerdict::NotProtected;
    result.finding =
        "Der Ordner ist nicht geschützt: CHIFF.CRY ist der Rest eines abgebrochenen "
        "Laufs, jede Datei darin liegt noch im Ordner.";
    return result;
  }
  // An encrypted container tests the password itself; a restore does not read its record.
  const bool sealed = IsSealedFile(container);
  if (const RecordState state = CheckPasswordRecord(record);
      !sealed && state != RecordState::Sound) {
    return Damaged(result, RecordFinding(state));
  }
  if (password && !sealed) {
    result.passwordChecked = true;
    if (!PasswordAccepted(*password, ReadPasswordRecord(record))) {
      result.verdict = VerifyVerdict::WrongPassword;
      result.finding =
          "Das Passwort ist falsch: Es öffnet den Passwort-Datensatz CHIFF.CRD "
          "dieses Ordners nicht.";
      return result;
    }
  }
  try {
    CheckContainerFile(container, password, progress, result);
  } catch (const DamageFound& damage) {
    return Damaged(result, damage.what());
  }
  return result;
}

VerifyResult VerifyContainer(const fs::path& container, const VerifyProgress& progress) {
  VerifyResult result;
  try {
    CheckContainerFile(container, std::nullopt, progress, result);
  } catch (const DamageFound& damage) {
    return Damaged(result, damage.what());
  }
  return result;
}

}  // namespace kestravuna
