// The message boxes the program shows, in one place for every front end: what a box looks like
// (icon, owner, caption, text) and the program's own boxes with their texts.
#pragma once

#include <string>
#include <string_view>

namespace kestravuna {

enum class BoxIcon { Error, Information, Question };

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
// What the general error box shows for an error that ended an event handler: `message` with a
// "." behind it where its last character lies above ".".
MessageBox GeneralErrorBox(std::string_view message);
// The set-password dialog was confirmed with an empty field.
MessageBox EmptyPasswordBox();
// The set-password dialog was confirmed with an empty field while the contents were to be
// encrypted: nothing is protected.
MessageBox EncryptionNeedsPasswordBox();
// Asked with the buttons "&Ja" (the default, Enter) and "&Nein" (Escape) before the program ends.
MessageBox QuitQuestionBox();
// A restore kept files changed since the protect; `list` names each with its archived copy.
MessageBox KeptFilesBox(std::string_view list);

}  // namespace kestravuna
