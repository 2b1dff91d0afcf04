#include "protect/protect_error.h"

#include <string>

#include "platform/utf8_path.h"

namespace kestravuna {

namespace {

const char* FaultText(ProtectFault fault) {
  switch (fault) {
    case ProtectFault::AlreadyProtected:
      return "Der Ordner enthält bereits eine Datei CHIFF.CRY und kann nur wiederhergestellt "
             "werden.";
    case ProtectFault::PasswordNotStorable:
      return "Das Passwort enthält Zeichen, die nicht gespeichert werden können.";
    case ProtectFault::VerifyFailed:
      return "Die Prüfung ist fehlgeschlagen: Der Container ergibt nicht das gepackte Archiv. "
             "Es wurde keine Datei gelöscht.";
    case ProtectFault::RecordUnreadable:
      return "Der Passwort-Datensatz CHIFF.CRD lässt sich nicht fehlerfrei lesen. "
             "Es wurde keine Datei gelöscht.";
    case ProtectFault::ForeignFile:
      return "Der Ordner enthält eine fremde Datei %s, die Kestravuna überschreiben müsste. "
             "Bitte benennen Sie sie um; es wurde nichts verändert.";
    case ProtectFault::FolderBusy:
      return "Der Ordner wird gerade von einem anderen Kestravuna-Vorgang bearbeitet. "
             "Es wurde nichts verändert; bitte versuchen Sie es danach erneut.";
    case ProtectFault::FileNotDeletable:
      return "Die Datei %s kann nicht gelöscht werden (Dateizugriff verweigert). Der Ordner "
             "bleibt unverschlüsselt; es wurde nichts verändert.";
    case ProtectFault::RestoreNotFinishable:
      return "Die Datei %s kann nicht gelöscht werden (Dateizugriff verweigert), daher ließe "
             "sich die Wiederherstellung nicht abschließen. Es wurde nichts verändert.";
    case ProtectFault::UnknownPlainArchive:
      return "CHIFF.CRY ist ein unkomprimiertes Archiv ohne Passwort-Datensatz CHIFF.CRD, "
             "dessen Dateien nicht alle im Ordner liegen. Es wurde nichts verändert; "
             "entpacken Sie es mit \"kestravuna-cli unpack\" oder benennen Sie es um.";
    case ProtectFault::ChangedWhileDeleting:
      return "Diese Dateien wurden nach der Prüfung verändert und bleiben daher im Ordner: %s. "
             "Der Container enthält ihren älteren Stand; alle übrigen Dateien sind "
             "verschlüsselt.";
    case ProtectFault::ChangedWhileProtected:
      return "Die Datei %s wurde während der Kodierung verändert. Der Ordner bleibt "
             "unverschlüsselt; es wurde keine Datei gelöscht.";
  }
  return "";
}

}  // namespace

EProtectError::EProtectError(ProtectFault fault)
    : std::runtime_error(FaultText(fault)), fault_(fault) {}

EProtectError::EProtectError(ProtectFault fault, std::string_view fileName)
    : std::runtime_error([&] {
        std::string text = FaultText(fault);
        // A name's bytes that are no UTF-8 show escaped: a message never carries them raw.
        text.replace(text.find("%s"), 2, platform::DisplayName(fileName));
        return text;
      }()),
      fault_(fault) {}

}  // namespace kestravuna
