#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kestravuna::platform {
namespace {

TEST(CodePageTest, EveryByteSurvivesTheRoundTrip) {
  std::string allBytes;
  std::set<std::string> characters;
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    const std::string utf8 = CodePageToUtf8(byte);
    characters.insert(utf8);
    EXPECT_EQ(Utf8ToCodePage(utf8), byte) << "byte " << value;
    allBytes += byte;
  }
  EXPECT_EQ(characters.size(), 256u) << "two bytes share one character";
  EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(allBytes)), allBytes);
}

struct Pair {
  std::string codePage;
  std::string utf8;
};

TEST(CodePageTest, KnownCharacters) {
  const Pair cases[] = {
      {"A", "A"},
      {std::string(1, '\0'), std::string(1, '\0')},
      {"\x80", "€"},
      {"\xE4", "ä"},
      {"\xC4", "Ä"},
      {"\xDF", "ß"},
      {"\x8A", "Š"},
      {"\x9F", "Ÿ"},
      {"\x85", "…"},
      {"\x99", "™"},
      {"\xA0", "\u00A0"},
      {"\xFF", "ÿ"},
      // The five unassigned bytes stand for the C1 controls of the same value.
      {"\x81", "\u0081"},
      {"\x8D", "\u008D"},
      {"\x8F", "\u008F"},
      {"\x90", "\u0090"},
      {"\x9D", "\u009D"},
      {"Gr\xF6\xDF"
       "e: 5\x80",
       "Größe: 5€"},
      {"", ""},
  };
  for (const Pair& c : cases) {
    EXPECT_EQ(CodePageToUtf8(c.codePage), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToCodePage(c.utf8), c.codePage) << c.utf8;
  }
}

TEST(CodePageTest, RejectsInvalidUtf8AndCharactersOutsideTheCodePage) {
  const std::string cases[] = {
      "\x80",                  // continuation byte without a lead byte
      "a\xC3",                 // sequence cut off at the end
      "\xE2\x82",              // three-byte sequence cut off
      "\xC3\x28",              // lead byte followed by no continuation byte
      "\xC0\x80",              // overlong NUL
      "\xC1\xBF",              // overlong 0x7F
      "\xE0\x80\xAF",          // overlong '/'
      "\xF0\x82\x82\xAC",      // overlong euro sign
      "\xED\xA0\x80",          // surrogate half
      "\xF4\x90\x80\x80",      // beyond U+10FFFF
      "\xF8\x88\x80\x80\x80",  // five-byte form
      "\xFE",
      "\xFF",
      "\u0080",  // the C1 control 0x80: byte 0x80 is the euro sign
      "\u009F",
      "Ā",            // U+0100, just above Latin-1
      "€uro \u2192",  // an arrow after valid characters
      "😀",
  };
  for (const std::string& c : cases) {
    EXPECT_EQ(Utf8ToCodePage(c), std::nullopt) << testing::PrintToString(c);
  }
}

}  // namespace
}  // namespace kestravuna::platform
