#include "protect/folder_scan.h"

#include <string>
#include <vector>

#include "platform/folder_listing.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"

namespace kestravuna {

namespace {

constexpr std::string_view kScanRunning = "Analyse läuft...";
constexpr std::string_view kScanDone = "bereit";
constexpr std::string_view kScanCancelled = "Scan abgebrochen";

// The size labels count in units of 2^10 × 1000 bytes; 10,240 bytes are one hundredth.
constexpr std::uint64_t kBytesPerHundredth = 10'240;

// Hidden and system folders are neither counted nor entered.
bool IsVisibleFolder(std::uint32_t attributes) {
  using namespace platform::attr;
  return (attributes & kDirectory) != 0 && (attributes & (kHidden | kSystem)) == 0;
}

// A folder that cannot be listed counts as empty, without a message.
std::vector<platform::FolderEntry> ListOrNothing(const std::filesystem::path& folder) {
  try {
    return platform::ListFolder(folder);
  } catch (const platform::EInOutError&) {
    return {};
  }
}

}  // namespace

std::string MegabyteText(std::uint64_t bytes) {
  const std::uint64_t hundredths =
      bytes / kBytesPerHundredth + (bytes % kBytesPerHundredth >= kBytesPerHundredth / 2 ? 1 : 0);
  const std::uint64_t cents = hundredths % 100;
  return std::to_string(hundredths / 100) + (cents < 10 ? ".0" : ".") + std::to_string(cents) +
         " MB";
}

void FolderScan::ScanFolder(const std::filesystem::path& folder) {
  // The figures are written as files are met; shown at the start too, a folder without plain
  // files shows its zeros instead of the figures of the folder counted before.
  if (!cancelScan_) {
    view_.ShowStatistic(Statistic::Files, std::to_string(statistics_.fileCount));
    view_.ShowStatistic(Statistic::Size, MegabyteText(statistics_.totalBytes));
  }
  ScanLevel(folder, walk_);
}

void FolderScan::ResetStatistics() {
  statistics_ = {};
  ++walk_;
}

void FolderScan::StartNewFolder() {
  ResetStatistics();
  cancelScan_ = false;
}

void FolderScan::ScanLevel(const std::filesystem::path& folder, std::uint64_t walk) {
  view_.ShowStatus(kScanRunning);
  if (cancelScan_) {
    for (Statistic figure : {Statistic::SubFolders, Statistic::Files, Statistic::Size}) {
      view_.ShowStatistic(figure, kScanCancelled);
    }
    return;
  }
  const std::vector<platform::FolderEntry> entries = ListOrNothing(folder);

  for (const platform::FolderEntry& entry : entries) {
    if (!platform::IsPlainFile(entry.attributes)) continue;
    ++statistics_.fileCount;
    view_.ShowStatistic(Statistic::Files, std::to_string(statistics_.fileCount));
    if (entry.name.find(kProtectedMark) != std::string::npos) statistics_.isProtected = true;
    statistics_.totalBytes += entry.size;
    view_.ShowStatistic(Statistic::Size, MegabyteText(statistics_.totalBytes));
    if (statistics_.progressStep == 100) statistics_.progressStep = 0;
    ++statistics_.progressStep;
    view_.ShowProgress(statistics_.progressStep);
    view_.PumpMessages();
    if (walk != walk_) return;
  }

  for (const platform::FolderEntry& entry : entries) {
    if (!IsVisibleFolder(entry.attributes)) continue;
    ++statistics_.subFolderCount;
    view_.ShowStatistic(Statistic::SubFolders, std::to_string(statistics_.subFolderCount));
    ScanLevel(folder / platform::PathFromUtf8(entry.name), walk);
    if (walk != walk_) return;
  }

  view_.ShowStatistic(Statistic::SubFolders, std::to_string(statistics_.subFolderCount));
  view_.EnableAction(Action::Protect, !statistics_.isProtected);
  view_.EnableAction(Action::Restore, statistics_.isProtected);
  view_.ShowStatus(kScanDone);
}

}  // namespace kestravuna
