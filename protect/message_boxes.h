// The message boxes the program shows, in one place for every front end: what a box looks like
// (icon, owner, caption, text) and the program's own boxes with their texts.
#pragma once

#include <string>
#include <string_view>

namespace kestravuna {

enum class BoxIcon { Error, Information };

// Application boxes are modal to every window of the program; ownerless boxes belong to
// no window.
enum class BoxOwner { Application, None };

struct MessageBox {
  BoxIcon icon;
  BoxOwner owner;
  std::string caption;
  std::string text;
};

// "/" (the first disk's root) cannot be protected.
MessageBox RootFolderRefusedBox();
// A drive that cannot be opened was chosen.
MessageBox DriveUnreachableBox();
// The entered password does not hold the stored one, or there is no stored one.
MessageBox WrongPasswordBox();
// A restore kept files changed since the protect; `list` names each with its archived copy.
MessageBox KeptFilesBox(std::string_view list);

}  // namespace kestravuna
