// The folder scan: counts the plain files, subfolders and bytes of a folder tree, shows
// them in the statistics panel and tells a plain folder from a protected one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "protect/folder_view.h"

namespace kestravuna {

// A file whose name holds this text anywhere (case-sensitive) marks the folder as protected.
inline constexpr std::string_view kProtectedMark = "CHIFF.CRY";

struct ScanStatistics {
  std::int32_t fileCount = 0;       // plain files counted so far
  std::int32_t subFolderCount = 0;  // subfolders counted so far
  std::int32_t progressStep = 0;    // position of the progress bar during a scan, 1..100
  std::uint64_t totalBytes = 0;     // full sizes, so folders of many GB show the right figure
  bool isProtected = false;         // a file named like the container has been met
};

// "3.07 MB" for 3,145,728 bytes: units of 1,024,000 bytes, two decimals, rounded half up.
std::string MegabyteText(std::uint64_t bytes);

class FolderScan {
 public:
  explicit FolderScan(FolderView& view) : view_(view) {}

  // Walks `folder` and every subfolder that is not hidden, adding to the statistics; the
  // labels, the progress bar and the two action buttons follow as it goes.
  void ScanFolder(const std::filesystem::path& folder);
  // Zeroes the statistics; the cancel flag stays as it is.
  void ResetStatistics();
  // Zeroes the statistics and clears the cancel flag: another folder has been chosen.
  void StartNewFolder();
  // The current and every later scan stop until another folder is chosen.
  void Cancel() { cancelScan_ = true; }

  bool cancelScan() const noexcept { return cancelScan_; }
  const ScanStatistics& Statistics() const noexcept { return statistics_; }

 private:
  void ScanLevel(const std::filesystem::path& folder, std::uint64_t walk);

  FolderView& view_;
  ScanStatistics statistics_;
  bool cancelScan_ = false;
  // Counts the restarts of the statistics. Pumping messages can run a folder change or a
  // rescan inside a walk; the outer walk then stops instead of adding its folder's figures
  // to those of the new one.
  std::uint64_t walk_ = 0;
};

}  // namespace kestravuna
