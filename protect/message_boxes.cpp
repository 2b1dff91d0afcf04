#include "protect/message_boxes.h"

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

MessageBox KeptFilesBox(std::string_view list) {
  return {BoxIcon::Information, BoxOwner::None, "Geänderte Dateien behalten",
          "Diese Dateien wurden geändert, nachdem der Ordner in CHIFF.CRY gepackt wurde, und "
          "bleiben, wie sie sind. Die Fassung aus CHIFF.CRY liegt jeweils daneben:" +
              std::string(list)};
}

}  // namespace kestravuna
