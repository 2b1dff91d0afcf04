// scan, protect, restore and verify: the main window's folder statistics and its two runs, and
// a check of a protected folder, for scripts and tests. The window's status texts drive the
// command's own progress line; its message boxes become lines on standard error.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive_record.h"
#include "cli/cli_support.h"
#include "cli/console.h"
#include "cli/password_input.h"
#include "cli/run_report.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/utf8_path.h"
#include "protect/folder_protector.h"
#include "protect/folder_scan.h"
#include "protect/folder_verify.h"
#include "protect/folder_view.h"
#include "seal/sealed_container.h"

namespace kestravuna::cli {

namespace {

namespace fs = std::filesystem;

// The window without widgets: the status texts go to the progress of a run while one is
// reported, each box becomes a line.
class ConsoleView final : public FolderView {
 public:
  void ShowStatus(std::string_view text) override {
    if (progress_) progress_->Status(text);
  }
  void ShowFolder(const fs::path&) override {}
  void ShowStatistic(Statistic, std::string_view) override {}
  void ShowProgress(int) override {}
  void EnableAction(Action action, bool enabled) override { enabled_[action] = enabled; }
  void ShowWaitWindow() override {}
  void HideWaitWindow() override {}
  void ShowMessage(const MessageBox& box) override {
    const std::string line = box.caption + ": " + box.text;
    if (box.icon == BoxIcon::Error) {
      errorShown_ = true;
      if (report_) {
        report_->Error(line);
      } else {
        WriteText(stderr, line + "\n");
      }
    } else if (report_) {
      report_->Note(line);
    } else if (CurrentVerbosity() != Verbosity::Quiet) {
      WriteText(stderr, line + "\n");
    }
  }
  void PumpMessages() override {}
  void SetBusy(bool) override {}
  void ShowDrive(const fs::path&) override {}

  // From here on the run's texts and boxes go to `report`.
  void Report(RunReport& report, FileStatusProgress& progress) {
    report_ = &report;
    progress_ = &progress;
  }
  bool Enabled(Action action) const {
    const auto found = enabled_.find(action);
    return found != enabled_.end() && found->second;
  }
  bool ErrorShown() const { return errorShown_; }

 private:
  std::map<Action, bool> enabled_;
  bool errorShown_ = false;
  RunReport* report_ = nullptr;
  FileStatusProgress* progress_ = nullptr;
};

struct Arguments {
  std::string folder;
  std::optional<fs::path> passwordFile;
  bool askPassword = false;                  // verify: --password
  TCompressMode mode = TCompressMode::Good;  // the window's mode
  bool encrypt = false;                      // protect: --encrypt
};

// The options a command takes.
enum class Options { FolderOnly, Password, PasswordAndMode, VerifyPassword };

Arguments ParseArguments(std::span<const std::string> args, Options options) {
  Arguments parsed;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (options == Options::PasswordAndMode) {
      if (const auto mode = ModeOption(args, i)) {
        parsed.mode = *mode;
        continue;
      }
      if (args[i] == "--encrypt") {
        parsed.encrypt = true;
        continue;
      }
    }
    if (options != Options::FolderOnly) {
      if (const auto file = ValueOption(args, i, "--password-file")) {
        parsed.passwordFile = platform::PathFromUtf8(*file);
        continue;
      }
    }
    if (options == Options::VerifyPassword && args[i] == "--password") {
      parsed.askPassword = true;
    } else if (IsOption(args[i])) {
      throw UsageError("Unbekannte Option: " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 1) throw UsageError("Genau ein Ordner wird erwartet.");
  parsed.folder = positional[0];
  return parsed;
}

int RunScan(std::span<const std::string> args) {
  const Arguments arguments = ParseArguments(args, Options::FolderOnly);
  ConsoleView view;
  FolderProtector protector(view);
  protector.ChooseFolder(ExistingFolder(arguments.folder));
  if (view.ErrorShown()) return kExitFailure;
  const ScanStatistics& statistics = protector.Scan().Statistics();
  WriteText(stdout,
            "Anzahl der Unterordner: " + std::to_string(statistics.subFolderCount) +
                "\nAnzahl der Dateien (insgesamt): " + std::to_string(statistics.fileCount) +
                "\nGröße aller Dateien: " + MegabyteText(statistics.totalBytes) +
                "\nGeschützt (CHIFF.CRY): " + (statistics.isProtected ? "ja" : "nein") + "\n");
  return kExitSuccess;
}

std::int64_t SizeOf(const fs::path& file) { return platform::File::OpenRead(file).Size(); }

// The run itself refuses what is no plain file under the container's name, with its own message.
std::int64_t SizeOfPlainFile(const fs::path& file) {
  return platform::KindOfEntry(file) == platform::EntryKind::PlainFile ? SizeOf(file) : 0;
}

// Protect and restore alike: the folder is chosen and scanned as in the window, the sequence
// runs only where the scan enabled its button, and an empty password is the dialogs' fixed text.
int RunSequence(std::span<const std::string> args, Action action) {
  const bool protect = action == Action::Protect;
  const Arguments arguments =
      ParseArguments(args, protect ? Options::PasswordAndMode : Options::Password);
  ConsoleView view;
  FolderProtector protector(view);
  const fs::path folder = ExistingFolder(arguments.folder);
  protector.ChooseFolder(folder);
  if (view.ErrorShown()) return kExitFailure;
  if (!view.Enabled(action)) {
    throw std::runtime_error(
        protect ? "Der Ordner enthält CHIFF.CRY und kann nur wiederhergestellt werden."
                : "Der Ordner enthält kein CHIFF.CRY; es gibt nichts wiederherzustellen.");
  }
  std::string entered = ReadPassword(arguments.passwordFile);
  const WipedOnExit wipeEntered(entered);

  // Protecting packs the files, then compresses the archive; restoring decodes the container.
  const fs::path container = folder / kContainerName;
  const FolderFiles files = protect ? FilesToPack(folder) : FolderFiles{};
  const std::int64_t archiveBytes =
      protect ? DataAreaStart(files.sizes.size()) + files.totalBytes : 0;
  const std::int64_t containerBefore = protect ? 0 : SizeOfPlainFile(container);
  RunReport report(protect ? files.totalBytes + archiveBytes : containerBefore);
  FileStatusProgress progress(report, files.sizes);
  view.Report(report, progress);
  std::int64_t decoded = 0;
  protector.SetCodingProgressObserver([&](std::int64_t read, std::int64_t written) {
    report.SetDone(protect ? files.totalBytes + read : read);
    decoded = written;
  });
  // The core takes the empty entry as the dialogs do, and its note reaches the report.
  if (protect) {
    if (!protector.ProtectWithTypedPassword(
            entered, {.method = arguments.mode, .encrypt = arguments.encrypt})) {
      return kExitFailure;
    }
  } else {
    protector.RestoreWithTypedPassword(entered);
  }
  if (view.ErrorShown()) return kExitFailure;
  const std::size_t count = progress.FilesBegun();
  if (protect) {
    report.Finish(report.ResultLine("Geschützt", count, files.totalBytes, SizeOf(container)));
  } else {
    // A plain archive left by an interrupted run is unpacked without the decoder.
    const std::int64_t fileBytes = decoded > 0 ? decoded - DataAreaStart(count) : 0;
    report.Finish(report.ResultLine("Wiederhergestellt", count, containerBefore, fileBytes));
  }
  return kExitSuccess;
}

int RunProtect(std::span<const std::string> args) { return RunSequence(args, Action::Protect); }
int RunRestore(std::span<const std::string> args) { return RunSequence(args, Action::Restore); }

// verify ORDNER checks the folder with its record, verify CONTAINER one container file.
int RunVerify(std::span<const std::string> args) {
  const Arguments arguments = ParseArguments(args, Options::VerifyPassword);
  const fs::path given = platform::PathFromUtf8(arguments.folder);
  std::error_code error;
  const bool isFile = fs::is_regular_file(given, error);
  std::optional<std::string> password;
  if (arguments.passwordFile || arguments.askPassword) {
    if (isFile) {
      throw UsageError("Ein Passwort prüft verify nur für einen Ordner mit CHIFF.CRD.");
    }
    password = std::string(PasswordAsTyped(ReadPassword(arguments.passwordFile)));
  }
  const fs::path checked = isFile ? given : ExistingFolder(arguments.folder);

  RunReport report;
  VerifyProgress progress;
  progress.bytes = [&report](std::int64_t read, std::int64_t total) {
    report.SetTotal(total);
    report.SetDone(read);
  };
  progress.file = [&report](std::string_view name) {
    report.FileStarted(name, "Prüfe " + std::string(name));
  };
  const VerifyResult result =
      isFile ? VerifyContainer(checked, progress) : VerifyFolder(checked, password, progress);
  switch (result.verdict) {
    case VerifyVerdict::Sound:
      break;
    case VerifyVerdict::NotProtected:
      report.Error(result.finding);
      return kExitFailure;
    case VerifyVerdict::Damaged:
      report.Error("Beschädigt: " + result.finding);
      return kExitFailure;
    case VerifyVerdict::WrongPassword:
      report.Error(result.finding);
      return kExitFailure;
  }
  if (result.encrypted && !result.passwordChecked) {
    report.Finish(
        "Kopf in Ordnung: CHIFF.CRY ist verschlüsselt; ohne Passwort (--password) lässt sich "
        "nur sein Kopf prüfen");
    return kExitSuccess;
  }
  std::string line =
      report.ResultLine("In Ordnung", result.fileCount, result.containerBytes, result.fileBytes);
  if (result.plainArchive) line += "; CHIFF.CRY ist ein unkomprimiertes Archiv";
  if (result.encrypted) line += "; verschlüsselt";
  if (result.passwordChecked) line += "; das Passwort ist richtig";
  report.Finish(line);
  return kExitSuccess;
}

constexpr Command kProtectCommands[] = {
    {"scan", "ORDNER",
     "Zählt Unterordner, Dateien und Bytes unter ORDNER und sagt, ob er verschlüsselt ist.",
     "Schreibt die Zahlen der Statistik des Fensters auf die Standardausgabe.", RunScan},
    {"protect", "[--mode good|fast|auto] [--encrypt] [--password-file DATEI] ORDNER",
     "Packt die Dateien von ORDNER in CHIFF.CRY, schreibt CHIFF.CRD und löscht die Dateien.",
     "Das Passwort ist die erste Zeile von DATEI, sonst der Standardeingabe, wenn sie kein\n"
     "Terminal ist, sonst wird es ohne Echo abgefragt. Ein leeres Passwort schützt mit dem\n"
     "festen Text der Dialoge.\n"
     "  --mode good   LZH wie das Fenster (Vorgabe)\n"
     "  --mode fast   LZRW1/KH: etwa achtmal so schnell, rund ein Viertel größer\n"
     "  --mode auto   nach Empfehlung für das Archiv\n"
     "  --encrypt     verschlüsselt den Inhalt mit dem Passwort (ein leeres wird abgelehnt)\n"
     "Unterordner bleiben, wie sie sind.\n"
     "Ohne --encrypt ist der Container nur komprimiert: Wer das Format kennt, liest jede\n"
     "Datei ohne Passwort; das Passwort hält nur dieses Programm auf, und CHIFF.CRD verrät\n"
     "es jedem, der das Format kennt.\n"
     "Mit --encrypt ist der ganze Container samt Namen und Größen der Dateien mit\n"
     "XChaCha20-Poly1305 verschlüsselt, der Schlüssel mit Argon2id aus dem Passwort\n"
     "abgeleitet; CHIFF.CRD enthält nichts vom Passwort. Jede Veränderung fällt beim\n"
     "Wiederherstellen auf. Sichtbar bleiben die Größe von CHIFF.CRY (also ungefähr die\n"
     "Menge der Daten), seine Zeiten und dass der Ordner geschützt ist; ein schwaches\n"
     "Passwort lässt sich durch Raten finden, und wer das Passwort kennt, liest alles.\n"
     "Programme, die nur den unverschlüsselten Container kennen, stellen einen\n"
     "verschlüsselten Ordner nicht wieder her und ändern nichts an ihm.",
     RunProtect},
    {"restore", "[--password-file DATEI] ORDNER",
     "Stellt jede Datei aus CHIFF.CRY von ORDNER wieder her, wenn das Passwort passt.",
     "Das Passwort kommt wie bei protect aus DATEI, der Standardeingabe oder der Abfrage.\n"
     "Eine Datei, die sich seit dem Schützen geändert hat, bleibt; die archivierte Fassung\n"
     "kommt als \"NAME (archiviert)\" daneben. Ein verschlüsselter Ordner wird von selbst\n"
     "erkannt; ist er beschädigt oder verändert, wird nichts wiederhergestellt.",
     RunRestore},
    {"verify", "[--password | --password-file DATEI] ORDNER|CONTAINER",
     "Prüft einen geschützten Ordner oder einen Container, ohne etwas zu ändern.",
     "Geprüft werden der Passwort-Datensatz CHIFF.CRD, ob CHIFF.CRY sich bis zum Ende\n"
     "fehlerfrei dekodieren lässt und ob das Archiv darin wiederherstellbare Namen und\n"
     "stimmige Größen hat. Nichts wird geschrieben; ein schreibgeschützter Ordner genügt.\n"
     "  --password             fragt das Passwort ab (ohne Echo; ist die Standardeingabe\n"
     "                         kein Terminal, gilt ihre erste Zeile) und prüft es\n"
     "  --password-file DATEI  prüft die erste Zeile von DATEI als Passwort\n"
     "Rückgabewert 0: in Ordnung (und das Passwort richtig); 1: nicht geschützt, beschädigt\n"
     "oder falsches Passwort, mit einer Meldung, was betroffen ist.\n"
     "Der unverschlüsselte Container hat keine Prüfsumme: Ein verändertes Byte fällt auf,\n"
     "wo es den Code, die Größen oder das Verzeichnis stört; wo es wieder gültigen Code\n"
     "ergibt (ein anderes Zeichen, eine andere Position), bleibt es unbemerkt. Von einem\n"
     "verschlüsselten Container prüft verify ohne Passwort nur den Kopf, mit Passwort jedes\n"
     "Byte.",
     RunVerify},
};

}  // namespace

std::span<const Command> ProtectCommands() { return kProtectCommands; }

}  // namespace kestravuna::cli
