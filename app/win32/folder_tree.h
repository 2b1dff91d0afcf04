// The folder tree and the drive list of the main window, on the system's tree view and
// extended combo box: what they list comes from folder_listing.h.
#pragma once

#include "app/win32/windows_api.h"

#include <commctrl.h>

#include <filesystem>
#include <functional>

namespace kestravuna::app::win32 {

class FolderTree {
 public:
  using FolderSelected = std::function<void(const std::filesystem::path&)>;

  explicit FolderTree(HWND tree);

  // The tree shows the root of `drive` ("X:\") and selects it, without announcing it.
  void ShowDrive(const std::filesystem::path& drive);
  // Opens the tree down to `folder` and selects it (or the nearest folder it lists), without
  // announcing it.
  void ShowFolder(const std::filesystem::path& folder);
  void OnFolderSelected(FolderSelected selected) { folderSelected_ = std::move(selected); }

  // The tree's notifications, passed on by its window.
  LRESULT Notify(NMHDR& header);

 private:
  std::filesystem::path PathOf(HTREEITEM item) const;
  HTREEITEM AddItem(HTREEITEM parent, const std::wstring& name);
  void ReadSubfolders(HTREEITEM item);
  void Select(HTREEITEM item);

  HWND tree_;
  std::filesystem::path drive_;
  std::filesystem::path shownFolder_;
  FolderSelected folderSelected_;
  int folderImage_ = 0;
  int openFolderImage_ = 0;
  bool quiet_ = false;  // selections made by the program are not announced
};

class DriveList {
 public:
  using DriveChosen = std::function<void(const std::filesystem::path&)>;

  explicit DriveList(HWND list);

  // Lists the system's drives afresh with `drive` selected, without announcing it.
  void ShowDrive(const std::filesystem::path& drive);
  void OnDriveChosen(DriveChosen chosen) { driveChosen_ = std::move(chosen); }

  // The list's commands, passed on by its window.
  void Command(int notification);

 private:
  HWND list_;
  std::vector<std::filesystem::path> roots_;  // by the list's index
  DriveChosen driveChosen_;
};

}  // namespace kestravuna::app::win32
