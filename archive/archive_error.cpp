#include "archive/archive_error.h"

#include "platform/utf8_path.h"

namespace kestravuna {

namespace {

std::string FaultText(ArchiveFault fault) {
  switch (fault) {
    case ArchiveFault::TooManyFiles:
      return "Der Ordner enthält mehr als 255 Dateien; das Archiv kann sie nicht aufnehmen.";
    case ArchiveFault::FileTooLarge:
      return "Die Datei ist zu groß für das Archiv (2 GiB oder mehr): ";
    case ArchiveFault::ArchiveTooLarge:
      return "Die Dateien des Ordners sind zusammen zu groß für das Archiv (2 GiB oder mehr).";
    case ArchiveFault::NameNotStorable:
      return "Der Dateiname lässt sich nicht im Archiv speichern: ";
    case ArchiveFault::FileChanged:
      return "Die Datei wurde während des Packens verändert: ";
    case ArchiveFault::DataEndsEarly:
      return "Das Archiv ist beschädigt: seine Daten enden vor dem Ende der letzten Datei.";
    case ArchiveFault::NegativeSize:
      return "Das Archiv ist beschädigt: eine Datei hat eine negative Größe: ";
    case ArchiveFault::UnsafeName:
      return "Das Archiv enthält einen unzulässigen Dateinamen: ";
  }
  return "Archivfehler";
}

}  // namespace

// A name's bytes that are no UTF-8 show escaped: a message never carries them raw.
EArchiveError::EArchiveError(ArchiveFault fault, std::string_view fileName)
    : std::runtime_error(FaultText(fault) + platform::DisplayName(fileName)), fault_(fault) {}

}  // namespace kestravuna
