#include "protect_error.h"

namespace kestravuna {

namespace {

const char* FaultText(ProtectFault fault) {
  switch (fault) {
    case ProtectFault::AlreadyProtected:
      return "Der Ordner enthält bereits eine Datei CHIFF.CRY und kann nur wiederhergestellt werden.";
    case ProtectFault::PasswordNotStorable:
      return "Das Passwort enthält Zeichen, die nicht gespeichert werden können.";
    case ProtectFault::VerifyFailed:
      return "Die Prüfung ist fehlgeschlagen: Der Container ergibt nicht das gepackte Archiv. "
             "Es wurde keine Datei gelöscht.";
    case ProtectFault::RecordUnreadable:
      return "Der Passwort-Datensatz CHIFF.CRD lässt sich nicht fehlerfrei lesen. "
             "Es wurde keine Datei gelöscht.";
  }
  return "";
}

}  // namespace

EProtectError::EProtectError(ProtectFault fault)
    : std::runtime_error(FaultText(fault)), fault_(fault) {}

}  // namespace kestravuna
