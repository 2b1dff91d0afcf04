#include "platform/io_error.h"
#include "platform/utf8_path.h"

#include <string>

namespace kestravuna::platform {

std::string IoErrorText(int errorNumber) {
  switch (errorNumber) {
    case io_error::kFileNotFound:
      return "Datei nicht gefunden";
    case io_error::kInvalidFileName:
      return "Ungültiger Dateiname";
    case io_error::kTooManyOpenFiles:
      return "Zu viele Dateien geöffnet";
    case io_error::kAccessDenied:
      return "Dateizugriff verweigert";
    case io_error::kReadBeyondEnd:
      return "Lesen nach Dateiende (EOF)";
    case io_error::kDiskFull:
      return "Kapazität der Diskette/Festplatte erschöpft";
    case io_error::kInvalidNumber:
      return "Ungültige numerische Eingabe";
    default:
      return "I/O-Fehler " + std::to_string(errorNumber);
  }
}

EInOutError::EInOutError(int errorNumber)
    : std::runtime_error(IoErrorText(errorNumber)), errorNumber_(errorNumber) {}

EInOutError::EInOutError(int errorNumber, const std::filesystem::path& path)
    : std::runtime_error(IoErrorText(errorNumber) + ": " + DisplayPath(path)),
      errorNumber_(errorNumber) {}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  // Compared as unsigned bytes: the lead and continuation bytes of a UTF-8 character and
  // the upper half of the code page all lie above '.', so they get the full stop as well.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
    text += '.';
  }
  return text;
}

}  // namespace kestravuna::platform
