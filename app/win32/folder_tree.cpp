#include "app/win32/folder_tree.h"

#include <shellapi.h>

#include "app/win32/folder_listing.h"
#include "app/win32/layout.h"
#include "platform/file_system.h"

namespace kestravuna::app::win32 {

namespace {

constexpr int kRowHeight = 14;
constexpr LPARAM kSubfoldersRead = 1;  // an item's lParam once its subfolders are listed

// The shell's small picture of a folder (open or closed) in the system's image list.
int FolderImage(UINT open) {
  SHFILEINFOW info{};
  SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                 SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES | open);
  return info.iIcon;
}

// The system's small pictures, where the shell keeps those of folders and drives.
HIMAGELIST SystemPictures() {
  SHFILEINFOW info{};
  return reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                     SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
}

// The shell's picture of a drive, which shows its type (fixed, removable, network, CD ...).
int DrivePicture(const std::filesystem::path& root) {
  SHFILEINFOW info{};
  if (SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON) ==
      0) {
    return -1;
  }
  return info.iIcon;
}

}  // namespace

FolderTree::FolderTree(HWND tree)
    : tree_(tree), folderImage_(FolderImage(0)), openFolderImage_(FolderImage(SHGFI_OPENICON)) {
  SHFILEINFOW info{};
  const auto images = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                     SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
  TreeView_SetImageList(tree_, images, TVSIL_NORMAL);
  TreeView_SetItemHeight(tree_, Scaled(kRowHeight, ScreenDpi()));
}

void FolderTree::ShowDrive(const std::filesystem::path& drive) {
  quiet_ = true;
  TreeView_DeleteAllItems(tree_);
  quiet_ = false;
  drive_ = drive;
  AddItem(TVI_ROOT, drive.native());
  ShowFolder(drive);
}

void FolderTree::ShowFolder(const std::filesystem::path& folder) {
  HTREEITEM item = TreeView_GetRoot(tree_);
  if (item == nullptr) return;
  for (const std::filesystem::path& name : folder.lexically_relative(drive_)) {
    if (name.empty() || name == ".") continue;
    ReadSubfolders(item);
    quiet_ = true;
    TreeView_Expand(tree_, item, TVE_EXPAND);
    quiet_ = false;
    HTREEITEM child = TreeView_GetChild(tree_, item);
    while (child != nullptr && CompareStringOrdinal(PathOf(child).filename().c_str(), -1,
                                                    name.c_str(), -1, TRUE) != CSTR_EQUAL) {
      child = TreeView_GetNextSibling(tree_, child);
    }
    if (child == nullptr) break;  // a hidden folder or a link: the nearest listed one is selected
    item = child;
  }
  Select(item);
  shownFolder_ = folder;
}

LRESULT FolderTree::Notify(NMHDR& header) {
  switch (header.code) {
    case TVN_ITEMEXPANDINGW: {
      auto& expanding = reinterpret_cast<NMTREEVIEWW&>(header);
      if (expanding.action & TVE_EXPAND) ReadSubfolders(expanding.itemNew.hItem);
      return FALSE;
    }
    case TVN_SELCHANGEDW: {
      if (quiet_) return 0;
      auto& changed = reinterpret_cast<NMTREEVIEWW&>(header);
      const std::filesystem::path folder = PathOf(changed.itemNew.hItem);
      // Selecting the folder that is already chosen announces nothing.
      if (folder == shownFolder_) return 0;
      shownFolder_ = folder;
      if (folderSelected_) folderSelected_(folder);
      return 0;
    }
    case NM_CUSTOMDRAW: {
      // The chosen folder stays marked while the tree has no focus: the system would mark it
      // in the button-face colour, which is the tree's own background.
      auto& draw = reinterpret_cast<NMTVCUSTOMDRAW&>(header);
      if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && (draw.nmcd.uItemState & CDIS_SELECTED)) {
        draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
        draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
      }
      return CDRF_DODEFAULT;
    }
    default:
      return 0;
  }
}

std::filesystem::path FolderTree::PathOf(HTREEITEM item) const {
  std::vector<std::wstring> names;
  for (; item != nullptr; item = TreeView_GetParent(tree_, item)) {
    wchar_t text[MAX_PATH + 1] = {};
    TVITEMW query{};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    TreeView_GetItem(tree_, &query);
    names.emplace_back(text);
  }
  std::filesystem::path path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) path /= *name;
  return path;
}

HTREEITEM FolderTree::AddItem(HTREEITEM parent, const std::wstring& name) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<wchar_t*>(name.c_str());
  insert.item.cChildren = 1;  // every folder may have subfolders until it is opened and read
  insert.item.lParam = 0;
  insert.item.iImage = folderImage_;
  insert.item.iSelectedImage = openFolderImage_;
  return TreeView_InsertItem(tree_, &insert);
}

void FolderTree::ReadSubfolders(HTREEITEM item) {
  TVITEMW state{};
  state.mask = TVIF_PARAM;
  state.hItem = item;
  TreeView_GetItem(tree_, &state);
  if (state.lParam == kSubfoldersRead) return;
  const std::vector<std::wstring> names = ListedSubfolders(PathOf(item));
  for (const std::wstring& name : names) AddItem(item, name);
  state.mask = TVIF_PARAM | TVIF_CHILDREN;
  state.lParam = kSubfoldersRead;
  state.cChildren = names.empty() ? 0 : 1;
  TreeView_SetItem(tree_, &state);
}

void FolderTree::Select(HTREEITEM item) {
  quiet_ = true;
  TreeView_SelectItem(tree_, item);
  TreeView_EnsureVisible(tree_, item);
  quiet_ = false;
}

DriveList::DriveList(HWND list) : list_(list) {
  SendMessageW(list_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(SystemPictures()));
}

void DriveList::ShowDrive(const std::filesystem::path& drive) {
  SendMessageW(list_, CB_RESETCONTENT, 0, 0);
  roots_.clear();
  const DriveChoice choice = ListDrives(platform::Drives(), drive);
  for (const DriveEntry& entry : choice.entries) {
    const int picture = DrivePicture(entry.root);
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = static_cast<INT_PTR>(roots_.size());
    item.pszText = const_cast<wchar_t*>(entry.label.c_str());
    item.iImage = item.iSelectedImage = picture;
    SendMessageW(list_, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    roots_.push_back(entry.root);
  }
  SendMessageW(list_, CB_SETCURSEL, choice.selected, 0);
}

void DriveList::Command(int notification) {
  if (notification != CBN_SELCHANGE || !driveChosen_) return;
  const LRESULT index = SendMessageW(list_, CB_GETCURSEL, 0, 0);
  if (index >= 0 && static_cast<std::size_t>(index) < roots_.size()) {
    driveChosen_(roots_[static_cast<std::size_t>(index)]);
  }
}

}  // namespace kestravuna::app::win32
