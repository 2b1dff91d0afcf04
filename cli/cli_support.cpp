#include "cli/cli_support.h"

#include <string>
#include <system_error>
#include <utility>

#include "archive/pack_folder.h"
#include "platform/folder_listing.h"
#include "platform/utf8_path.h"

namespace kestravuna::cli {

namespace {

namespace fs = std::filesystem;

TCompressMode ParseMode(std::string_view text) {
  if (text == "good") return TCompressMode::Good;
  if (text == "fast") return TCompressMode::Fast;
  if (text == "auto") return TCompressMode::Auto;
  throw UsageError("Unbekannte Methode: " + std::string(text) + " (good, fast oder auto)");
}

// The name in a packer's or unpacker's status text; nullopt for any other text.
std::optional<std::string_view> FileOfStatus(std::string_view text) {
  for (const std::string_view prefix : {"Kodiere ", "Dekodiere "}) {
    if (!text.starts_with(prefix)) continue;
    text.remove_prefix(prefix.size());
    // A long name's text is cut short and then has no "..." behind it.
    if (text.ends_with("...")) text.remove_suffix(3);
    return text;
  }
  return std::nullopt;
}

}  // namespace

std::optional<TCompressMode> ModeOption(std::span<const std::string> args, std::size_t& i) {
  const std::optional<std::string> value = ValueOption(args, i, "--mode");
  if (!value) return std::nullopt;
  return ParseMode(*value);
}

std::optional<std::string> ValueOption(std::span<const std::string> args, std::size_t& i,
                                       std::string_view name) {
  const std::string joined = std::string(name) + "=";
  if (args[i].starts_with(joined)) return args[i].substr(joined.size());
  if (args[i] != name) return std::nullopt;
  if (i + 1 == args.size()) throw UsageError(std::string(name) + " braucht einen Wert.");
  return args[++i];
}

bool IsOption(std::string_view arg) { return arg.size() > 1 && arg.starts_with('-'); }

void ExpectArguments(std::span<const std::string> args, std::size_t count,
                     std::string_view expected) {
  for (const std::string& arg : args) {
    if (IsOption(arg)) throw UsageError("Unbekannte Option: " + arg);
  }
  if (args.size() != count) throw UsageError(std::string(expected));
}

fs::path ExistingFolder(std::string_view argument) {
  const fs::path given = platform::PathFromUtf8(argument);
  std::error_code error;
  const fs::path resolved = fs::canonical(given, error);
  if (error) throw std::runtime_error("Ordner nicht gefunden: " + std::string(argument));
  if (!fs::is_directory(resolved, error)) {
    throw std::runtime_error("Kein Ordner: " + std::string(argument) +
                             " ist eine Datei, erwartet wird ein Ordner.");
  }
  return resolved;
}

FolderFiles FilesToPack(const fs::path& folder) {
  FolderFiles files;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (!IsPacked(folder, entry)) continue;
    files.sizes[entry.name] = static_cast<std::int64_t>(entry.size);
    files.totalBytes += static_cast<std::int64_t>(entry.size);
  }
  return files;
}

void FileStatusProgress::Status(std::string_view text) {
  const std::optional<std::string_view> name = FileOfStatus(text);
  if (!name) {
    report_.SetItem(text);
    return;
  }
  bytesBefore_ += lastSize_;
  const auto known = sizes_.find(std::string(*name));
  lastSize_ = known != sizes_.end() ? known->second : 0;
  ++filesBegun_;
  if (!sizes_.empty()) report_.SetDone(bytesBefore_);
  report_.FileStarted(*name, text);
}

}  // namespace kestravuna::cli
