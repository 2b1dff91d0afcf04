// The folder tree of one drive and the drive list of the main window.
#pragma once

#include <QComboBox>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

namespace kestravuna::app {

// The folders of one drive, rooted at its root. Hidden folders (names beginning with ".") and
// links are left out; a folder's subfolders are read when it is opened.
class FolderTree : public QTreeWidget {
 public:
  explicit FolderTree(QWidget* parent);

  // Called when the user selects a folder other than the current one.
  void OnFolderSelected(std::function<void(const std::filesystem::path&)> handler) {
    folderSelected_ = std::move(handler);
  }
  // Shows the tree of `drive`, its root selected. Announces nothing.
  void ShowDrive(const std::filesystem::path& drive);
  // Opens the tree down to `folder` (on the shown drive) and selects it. Announces nothing.
  void ShowFolder(const std::filesystem::path& folder);
  std::filesystem::path SelectedFolder() const;

 private:
  void ReadSubfolders(QTreeWidgetItem& item);
  void SelectionChanged(QTreeWidgetItem* current);

  std::function<void(const std::filesystem::path&)> folderSelected_;
  std::filesystem::path drive_;
  std::filesystem::path shownFolder_;
};

// The mounted volumes, each with a picture of its type.
class DriveList : public QComboBox {
 public:
  explicit DriveList(QWidget* parent);

  // Called when the user picks a drive.
  void OnDriveChosen(std::function<void(const std::filesystem::path&)> handler) {
    driveChosen_ = std::move(handler);
  }
  // Reads the mounted volumes afresh and selects `drive`. Announces nothing.
  void ShowDrive(const std::filesystem::path& drive);
  std::filesystem::path ShownDrive() const;

 private:
  std::function<void(const std::filesystem::path&)> driveChosen_;
};

}  // namespace kestravuna::app
