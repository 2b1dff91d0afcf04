#include "app/qt/folder_tree.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>
#include <vector>

#include "platform/file_system.h"

namespace kestravuna::app {

namespace {

namespace fs = std::filesystem;

constexpr int kPathRole = Qt::UserRole;  // the folder's path in the file system's bytes
constexpr int kRowHeight = 14;

QByteArray NativeBytes(const fs::path& path) { return QByteArray::fromStdString(path.native()); }

fs::path PathOf(const QTreeWidgetItem& item) {
  return fs::path(item.data(0, kPathRole).toByteArray().toStdString());
}

QString NameOf(const fs::path& path) { return QString::fromLocal8Bit(path.native()); }

// The order of the listed folders: by name regardless of case, then by the name's bytes, so
// that two names differing only in case still have a fixed order.
bool ListedBefore(const fs::path& a, const fs::path& b) {
  const int byName = NameOf(a.filename()).compare(NameOf(b.filename()), Qt::CaseInsensitive);
  return byName != 0 ? byName < 0 : a.filename().native() < b.filename().native();
}

// The subfolders as the tree lists them: no links, no hidden ones, sorted by name. A folder
// that cannot be read simply shows none.
std::vector<fs::path> SubfoldersOf(const fs::path& folder) {
  std::vector<fs::path> subfolders;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (!entry->is_directory(error) || entry->is_symlink(error)) continue;
    if (entry->path().filename().native().starts_with('.')) continue;
    subfolders.push_back(entry->path());
  }
  std::ranges::sort(subfolders, ListedBefore);
  return subfolders;
}

QTreeWidgetItem* NewItem(const fs::path& folder, const QString& text) {
  auto* item = new QTreeWidgetItem({text});
  item->setData(0, kPathRole, NativeBytes(folder));
  item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
  // Every folder may have subfolders until it is opened and read.
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item;
}

QIcon DriveIcon(const fs::path& drive) {
  const QStorageInfo volume(NameOf(drive));
  const QByteArray type = volume.fileSystemType();
  QStyle::StandardPixmap picture = QStyle::SP_DriveHDIcon;
  if (type.startsWith("nfs") || type.startsWith("cifs") || type.startsWith("smb") ||
      type.contains("sshfs")) {
    picture = QStyle::SP_DriveNetIcon;
  } else if (type == "iso9660" || type == "udf") {
    picture = QStyle::SP_DriveCDIcon;
  } else if (drive.native().starts_with("/media/") || drive.native().starts_with("/run/media/")) {
    picture = QStyle::SP_DriveFDIcon;  // removable
  }
  return QApplication::style()->standardIcon(picture);
}

}  // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  // The sunken 3D border: two pixels, dark outside and darker inside.
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  setUniformRowHeights(true);
  setIndentation(kRowHeight + 2);
  setStyleSheet(QString("QTreeView::item { height: %1px; }").arg(kRowHeight));
  connect(this, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { ReadSubfolders(*item); });
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { SelectionChanged(current); });
}

void FolderTree::ShowDrive(const fs::path& drive) {
  const QSignalBlocker quiet(this);
  clear();
  drive_ = drive;
  addTopLevelItem(NewItem(drive, NameOf(drive)));
  ShowFolder(drive);
}

void FolderTree::ShowFolder(const fs::path& folder) {
  const QSignalBlocker quiet(this);
  QTreeWidgetItem* item = topLevelItem(0);
  if (item == nullptr) return;
  const fs::path relative = folder.lexically_relative(drive_);
  for (const fs::path& name : relative) {
    if (name.empty() || name == ".") continue;
    ReadSubfolders(*item);
    item->setExpanded(true);
    QTreeWidgetItem* child = nullptr;
    for (int i = 0; i < item->childCount() && child == nullptr; ++i) {
      if (PathOf(*item->child(i)).filename() == name) child = item->child(i);
    }
    if (child == nullptr) break;  // a hidden folder or a link: the nearest shown one is selected
    item = child;
  }
  setCurrentItem(item);
  scrollToItem(item);
  shownFolder_ = folder;
}

fs::path FolderTree::SelectedFolder() const {
  return currentItem() != nullptr ? PathOf(*currentItem()) : fs::path();
}

// Reads the folder's subfolders afresh, each time it is opened: new ones are added, removed
// ones go. Listed ones that are still there stay as they are (with what was read below them),
// and those that are closed may have gained subfolders since, so they may be opened again.
void FolderTree::ReadSubfolders(QTreeWidgetItem& item) {
  const fs::path chosen = SelectedFolder();
  {
    const QSignalBlocker quiet(this);
    int row = 0;
    const auto removeRow = [&] { delete item.takeChild(row); };
    for (const fs::path& subfolder : SubfoldersOf(PathOf(item))) {
      while (row < item.childCount() && ListedBefore(PathOf(*item.child(row)), subfolder)) {
        removeRow();
      }
      if (row < item.childCount() && PathOf(*item.child(row)) == subfolder) {
        QTreeWidgetItem& kept = *item.child(row);
        if (!kept.isExpanded()) kept.setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
      } else {
        item.insertChild(row, NewItem(subfolder, NameOf(subfolder.filename())));
      }
      ++row;
    }
    while (row < item.childCount()) removeRow();
    item.setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  }
  // The chosen folder was removed from outside: the folder read now is chosen instead (and
  // announced, unless the tree is only being shown).
  if (SelectedFolder() != chosen) {
    {
      const QSignalBlocker quiet(this);
      setCurrentItem(&item);
    }
    if (!signalsBlocked()) SelectionChanged(&item);
  }
}

void FolderTree::SelectionChanged(QTreeWidgetItem* current) {
  if (current == nullptr) return;
  const fs::path folder = PathOf(*current);
  if (folder == shownFolder_) return;
  shownFolder_ = folder;
  if (folderSelected_) folderSelected_(folder);
}

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  // `activated` comes from the user only, never from ShowDrive.
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (driveChosen_) driveChosen_(fs::path(itemData(index).toByteArray().toStdString()));
  });
}

void DriveList::ShowDrive(const fs::path& drive) {
  const QSignalBlocker quiet(this);
  clear();
  for (const fs::path& volume : platform::Drives()) {
    addItem(DriveIcon(volume), NameOf(volume), NativeBytes(volume));
  }
  const int index = findData(NativeBytes(drive));
  if (index < 0) {
    addItem(DriveIcon(drive), NameOf(drive), NativeBytes(drive));
    setCurrentIndex(count() - 1);
  } else {
    setCurrentIndex(index);
  }
}

fs::path DriveList::ShownDrive() const {
  return fs::path(currentData().toByteArray().toStdString());
}

}  // namespace kestravuna::app
