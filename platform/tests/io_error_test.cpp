#include "platform/io_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/tests/test_support.h"
#include "platform/utf8_path.h"

namespace kestravuna::platform {
namespace {

struct TextCase {
  int number;
  const char* text;
};

TEST(IoErrorTest, TextOfEachNumber) {
  const TextCase cases[] = {
      {2, "Datei nicht gefunden"},
      {3, "Ungültiger Dateiname"},
      {4, "Zu viele Dateien geöffnet"},
      {5, "Dateizugriff verweigert"},
      {100, "Lesen nach Dateiende (EOF)"},
      {101, "Kapazität der Diskette/Festplatte erschöpft"},
      {106, "Ungültige numerische Eingabe"},
      {103, "I/O-Fehler 103"},
      {0, "I/O-Fehler 0"},
      {32, "I/O-Fehler 32"},
      {1117, "I/O-Fehler 1117"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(IoErrorText(c.number), c.text) << c.number;
    const EInOutError error(c.number);
    EXPECT_STREQ(error.what(), c.text) << c.number;
    EXPECT_EQ(error.ErrorNumber(), c.number);
  }
}

#ifndef _WIN32  // errno is the POSIX side; the Windows codes are tested in win32_test.cpp
struct ErrnoCase {
  int errnoValue;
  int expected;
};

TEST(IoErrorTest, ErrnoMapping) {
  const ErrnoCase cases[] = {
      {ENOENT, 2},
      {ENOTDIR, 3},
      {ENAMETOOLONG, 3},
      {EINVAL, 3},
      {EILSEQ, 3},
      {EMFILE, 4},
      {ENFILE, 4},
      {EACCES, 5},
      {EPERM, 5},
      {EROFS, 5},
      {EEXIST, 5},
      {EISDIR, 5},
      {ETXTBSY, 5},
      {EBUSY, 5},
      {ELOOP, 5},
      {ENOSPC, 101},
      {EDQUOT, 101},
      {EFBIG, 101},
      // Passed through: no number of the program's own means something else.
      {EXDEV, EXDEV},
      {ESTALE, ESTALE},
      {EMLINK, EMLINK},
      {ENOTEMPTY, ENOTEMPTY},
      // Values that coincide with numbers of the program's own would show a wrong text.
      {EIO, 1117},
      {EINTR, 1117},
      {ESRCH, 1117},
      {ENETDOWN, 1117},
      {ENETUNREACH, 1117},
      {ECONNABORTED, 1117},
      {EISCONN, 1117},
  };
  for (const ErrnoCase& c : cases) {
    EXPECT_EQ(IoErrorNumberFromErrno(c.errnoValue), c.expected) << "errno " << c.errnoValue;
  }
}

TEST(IoErrorTest, ThrowFromErrnoCarriesTheMappedNumber) {
  errno = ENOSPC;
  EXPECT_EQ(test_support::IoErrorNumberOf([] { ThrowIoErrorFromErrno(); }), io_error::kDiskFull);
}
#endif  // _WIN32

struct BoxCase {
  std::string message;
  std::string expected;
};

TEST(IoErrorTest, ErrorBoxTextAppendsAFullStopAfterCharactersAboveIt) {
  const BoxCase cases[] = {
      {"abc", "abc."},
      {"Ende.", "Ende."},
      {"x!", "x!"},   // '!' lies below '.'
      {"a-", "a-"},   // '-' is the character just below '.'
      {"a/", "a/."},  // '/' is the character just above '.'
      {"Datei 1", "Datei 1."},
      {"a ", "a "},
      {"", ""},
      {"Größe", "Größe."},
      {"schön", "schön."},        // UTF-8: the last byte is a continuation byte
      {"sch\xF6n", "sch\xF6n."},  // the same in the 8-bit code page
      {"Fehler \xE4", "Fehler \xE4."},
  };
  for (const BoxCase& c : cases) {
    EXPECT_EQ(ErrorBoxText(c.message), c.expected) << c.message;
  }
}

// Names in messages: UTF-8 stays as it is, every byte that is no part of a well-formed UTF-8
// character is shown escaped.
TEST(IoErrorTest, MessagesShowBytesThatAreNoUtf8Escaped) {
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {
      {"Grüße €.txt", "Grüße €.txt"},
      {"bad\xFF name", "bad\\xFF name"},
      {"\xE4rger", "\\xE4rger"},                   // Latin-1 "ä", cut as UTF-8
      {"over\xC0\xAFlong", "over\\xC0\\xAFlong"},  // overlong "/"
      {"sur\xED\xA0\x80", "sur\\xED\\xA0\\x80"},   // a surrogate
      {"ende\xF0\x9F", "ende\\xF0\\x9F"},          // cut at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayName(c.name), c.shown) << c.name;
  }
}

}  // namespace
}  // namespace kestravuna::platform
