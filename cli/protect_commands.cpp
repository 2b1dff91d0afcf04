// scan, protect and restore: the main window's folder statistics and its two runs, for
// scripts and tests. Status texts go to standard error as the window would show them.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "cli/console.h"
#include "platform/file.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"
#include "protect/folder_protector.h"
#include "protect/folder_scan.h"
#include "protect/folder_view.h"

namespace kestravuna::cli {

namespace {

namespace fs = std::filesystem;

// Far more than any password line; a huge file is not read whole.
constexpr std::size_t kPasswordFileReadLimit = 64 * 1024;

// The window without widgets: the status line on standard error, each box as a line there.
class ConsoleView final : public FolderView {
 public:
  void ShowStatus(std::string_view text) override {
    if (text == status_) return;
    status_ = text;
    PrintStatus(text);
  }
  void ShowFolder(const fs::path&) override {}
  void ShowStatistic(Statistic, std::string_view) override {}
  void ShowProgress(int) override {}
  void EnableAction(Action action, bool enabled) override { enabled_[action] = enabled; }
  void ShowWaitWindow() override {}
  void HideWaitWindow() override {}
  void ShowMessage(const MessageBox& box) override {
    std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    if (box.icon == BoxIcon::Error) errorShown_ = true;
  }
  void PumpMessages() override {}
  void SetBusy(bool) override {}
  void ShowDrive(const fs::path&) override {}

  bool Enabled(Action action) const {
    const auto found = enabled_.find(action);
    return found != enabled_.end() && found->second;
  }
  bool ErrorShown() const { return errorShown_; }

 private:
  std::string status_;
  std::map<Action, bool> enabled_;
  bool errorShown_ = false;
};

struct Arguments {
  fs::path folder;
  std::optional<fs::path> passwordFile;
  TCompressMode mode = TCompressMode::Good;  // the window's mode
};

// The options a command takes.
enum class Options { FolderOnly, Password, PasswordAndMode };

Arguments ParseArguments(std::span<const std::string> args, Options options) {
  Arguments parsed;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (options == Options::PasswordAndMode) {
      if (const auto mode = ModeOption(args, i)) {
        parsed.mode = *mode;
        continue;
      }
    }
    if (options != Options::FolderOnly && args[i] == "--password-file") {
      if (i + 1 == args.size()) throw UsageError("--password-file braucht einen Dateinamen.");
      parsed.passwordFile = platform::PathFromUtf8(args[++i]);
    } else if (args[i].starts_with("--")) {
      throw UsageError("Unbekannte Option: " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 1) throw UsageError("Genau ein Ordner wird erwartet.");
  parsed.folder = platform::PathFromUtf8(positional[0]);
  return parsed;
}

// The folder as the folder tree would give it: absolute, without "." and "..", links
// resolved, so that the refusal of the first disk's root cannot be talked around.
fs::path ChosenFolder(const fs::path& folder) {
  std::error_code error;
  const fs::path resolved = fs::canonical(folder, error);
  if (error || !fs::is_directory(resolved)) {
    throw std::runtime_error("Ordner nicht gefunden: " + platform::Utf8Of(folder));
  }
  return resolved;
}

std::string WithoutLineEnd(std::string line) {
  if (line.ends_with('\r')) line.pop_back();
  return line;
}

// Typing without echo, as the enter-password dialog masks what is typed.
std::string PromptPassword() {
  std::fputs("Passwort: ", stderr);
  std::fflush(stderr);
  const std::string line = ReadLineWithoutEcho();
  std::fputc('\n', stderr);
  return WithoutLineEnd(line);
}

// The first line of --password-file, else of standard input when it is not a terminal,
// else what is typed at the prompt.
std::string ReadPassword(const Arguments& arguments) {
  if (arguments.passwordFile) {
    try {
      // The file layer refuses what is no plain file, such as a folder or a link.
      platform::File file = platform::File::OpenRead(*arguments.passwordFile);
      std::vector<std::uint8_t> contents(kPasswordFileReadLimit);
      contents.resize(file.Read(contents));
      const std::string text(contents.begin(), contents.end());
      return WithoutLineEnd(text.substr(0, text.find('\n')));
    } catch (const platform::EInOutError& error) {
      throw std::runtime_error("Passwortdatei nicht lesbar: " + std::string(error.what()));
    }
  }
  if (!StandardInputIsTerminal()) return WithoutLineEnd(FirstLineOfStandardInput());
  return PromptPassword();
}

int RunScan(std::span<const std::string> args) {
  const Arguments arguments = ParseArguments(args, Options::FolderOnly);
  ConsoleView view;
  FolderProtector protector(view);
  protector.ChooseFolder(ChosenFolder(arguments.folder));
  if (view.ErrorShown()) return kExitFailure;
  const ScanStatistics& statistics = protector.Scan().Statistics();
  std::printf(
      "Anzahl der Unterordner: %d\nAnzahl der Dateien (insgesamt): %d\n"
      "Größe aller Dateien: %s\nGeschützt (CHIFF.CRY): %s\n",
      statistics.subFolderCount, statistics.fileCount, MegabyteText(statistics.totalBytes).c_str(),
      statistics.isProtected ? "ja" : "nein");
  return kExitSuccess;
}

// Protect and restore alike: the folder is chosen and scanned as in the window, the sequence
// runs only where the scan enabled its button, and an empty password is taken as the dialogs
// take an empty field.
int RunSequence(std::span<const std::string> args, Action action, const char* unavailable,
                void (FolderProtector::*sequence)(std::string_view)) {
  const Arguments arguments = ParseArguments(
      args, action == Action::Protect ? Options::PasswordAndMode : Options::Password);
  ConsoleView view;
  FolderProtector protector(view);
  protector.containerMode = arguments.mode;
  protector.ChooseFolder(ChosenFolder(arguments.folder));
  if (view.ErrorShown()) return kExitFailure;
  if (!view.Enabled(action)) throw std::runtime_error(unavailable);
  (protector.*sequence)(ReadPassword(arguments));
  return view.ErrorShown() ? kExitFailure : kExitSuccess;
}

int RunProtect(std::span<const std::string> args) {
  return RunSequence(args, Action::Protect,
                     "Der Ordner enthält CHIFF.CRY und kann nur wiederhergestellt werden.",
                     &FolderProtector::ProtectWithTypedPassword);
}

int RunRestore(std::span<const std::string> args) {
  return RunSequence(args, Action::Restore,
                     "Der Ordner enthält kein CHIFF.CRY; es gibt nichts wiederherzustellen.",
                     &FolderProtector::RestoreWithTypedPassword);
}

constexpr Command kProtectCommands[] = {
    {"scan", "ORDNER",
     "Zählt Unterordner, Dateien und Bytes unter ORDNER und sagt, ob er verschlüsselt ist.",
     RunScan},
    {"protect", "[--mode good|fast|auto] [--password-file DATEI] ORDNER",
     "Packt die Dateien von ORDNER in CHIFF.CRY, schreibt CHIFF.CRD und löscht die Dateien. "
     "Das Passwort ist die erste Zeile von DATEI, sonst der Standardeingabe, sonst wird es "
     "ohne Echo abgefragt. --mode wählt die Methode (wie das Fenster: good); fast packt etwa "
     "achtmal so schnell bei rund einem Viertel größerem Container, und jede "
     "Wiederherstellung liest beide.",
     RunProtect},
    {"restore", "[--password-file DATEI] ORDNER",
     "Stellt jede Datei aus CHIFF.CRY von ORDNER wieder her, wenn das Passwort passt.", RunRestore},
};

}  // namespace

std::span<const Command> ProtectCommands() { return kProtectCommands; }

}  // namespace kestravuna::cli
