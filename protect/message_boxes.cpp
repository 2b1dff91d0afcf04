#include "protect/message_boxes.h"

#include "platform/io_error.h"

namespace kestravuna {

MessageBox RootFolderRefusedBox() {
  return {BoxIcon::Error, BoxOwner::Application, "Verbotener Zugriff",
          "Das Hauptverzeichnis der ersten Festplatte darf nicht verschlüsselt werden !"};
}

MessageBox DriveUnreachableBox() {
  return {BoxIcon::Error, BoxOwner::Application, "Fehler beim Laufwerkswechsel",
          "Auf das Laufwerk kann nicht zugegriffen werden."};
}

MessageBox WrongPasswordBox() {
  return {BoxIcon::Error, BoxOwner::None, "Falsches Passwort !",
          "Sie haben keine Berechtigung zu dieser Aktion !"};
}

MessageBox GeneralErrorBox(std::string_view message) {
  return {BoxIcon::Error, BoxOwner::Application, "Kestravuna", platform::ErrorBoxText(message)};
}

MessageBox EmptyPasswordBox() {
  return {BoxIcon::Information, BoxOwner::None, "Sicherheitshinweis",
          "Sie haben kein Passwort festgelegt. Das Verzeichnis wird ohne Passwort verschlüsselt!"};
}

MessageBox EncryptionNeedsPasswordBox() {
  return {BoxIcon::Information, BoxOwner::None, "Kein Passwort",
          "Um den Inhalt zu verschlüsseln, legen Sie bitte ein Passwort fest. Es wurde nichts "
          "verändert."};
}

MessageBox QuitQuestionBox() {
  return {BoxIcon::Question, BoxOwner::Application, "Bestätigen",
          "Wollen Sie Kestravuna wirklich beenden ?"};
}

MessageBox KeptFilesBox(std::string_view list) {
  return {BoxIcon::Information, BoxOwner::None, "Geänderte Dateien behalten",
          "Diese Dateien wurden geändert, nachdem der Ordner in CHIFF.CRY gepackt wurde, und "
          "bleiben, wie sie sind. Die Fassung aus CHIFF.CRY liegt jeweils daneben:" +
              std::string(list)};
}

}  // namespace kestravuna
