// Windows-1252 <-> UTF-8. Bytes 0x00-0x7F are ASCII and 0xA0-0xFF are U+00A0-U+00FF;
// only 0x80-0x9F need a table.
#include "platform/code_page.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kestravuna::platform {

namespace {

// Characters of the bytes 0x80-0x9F. The five bytes the code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same value, so every
// byte converts to UTF-8 and back unchanged.
constexpr std::array<char32_t, 32> kCharactersOf80To9F = {
    U'\u20AC', U'\u0081', U'\u201A', U'\u0192', U'\u201E', U'\u2026', U'\u2020', U'\u2021',
    U'\u02C6', U'\u2030', U'\u0160', U'\u2039', U'\u0152', U'\u008D', U'\u017D', U'\u008F',
    U'\u0090', U'\u2018', U'\u2019', U'\u201C', U'\u201D', U'\u2022', U'\u2013', U'\u2014',
    U'\u02DC', U'\u2122', U'\u0161', U'\u203A', U'\u0153', U'\u009D', U'\u017E', U'\u0178'};

constexpr char32_t kFirstTableByte = 0x80;
constexpr char32_t kLatin1Start = 0xA0;  // from here on the byte is the code point
constexpr char32_t kByteLimit = 0x100;

char32_t CharacterOfByte(std::uint8_t byte) {
  const char32_t value = byte;
  return (value >= kFirstTableByte && value < kLatin1Start)
             ? kCharactersOf80To9F[value - kFirstTableByte]
             : value;
}

std::optional<std::uint8_t> ByteOfCharacter(char32_t character) {
  if (character < kFirstTableByte || (character >= kLatin1Start && character < kByteLimit)) {
    return static_cast<std::uint8_t>(character);
  }
  const auto* found = std::find(kCharactersOf80To9F.begin(), kCharactersOf80To9F.end(), character);
  if (found == kCharactersOf80To9F.end()) {
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(kFirstTableByte + (found - kCharactersOf80To9F.begin()));
}

void AppendUtf8(std::string& text, char32_t character) {
  const auto unit = [](char32_t bits) { return static_cast<char>(bits); };
  if (character < 0x80) {
    text += unit(character);
  } else if (character < 0x800) {
    text += unit(0xC0 | (character >> 6));
    text += unit(0x80 | (character & 0x3F));
  } else {  // the code page reaches no further than the Basic Multilingual Plane
    text += unit(0xE0 | (character >> 12));
    text += unit(0x80 | ((character >> 6) & 0x3F));
    text += unit(0x80 | (character & 0x3F));
  }
}

// The multi-byte forms of UTF-8: the lead byte's marker bits, the sequence length and
// the smallest character that needs this length (anything below is an overlong form).
struct SequenceForm {
  std::uint8_t markerMask;
  std::uint8_t marker;
  std::size_t length;
  char32_t smallest;
};
constexpr std::array<SequenceForm, 3> kSequenceForms = {{
    {0xE0, 0xC0, 2, 0x80},
    {0xF0, 0xE0, 3, 0x800},
    {0xF8, 0xF0, 4, 0x10000},
}};

}  // namespace

std::optional<char32_t> NextUtf8Character(std::string_view text, std::size_t& position) {
  const auto byteAt = [&text](std::size_t index) { return static_cast<std::uint8_t>(text[index]); };
  const std::uint8_t lead = byteAt(position);
  if (lead < 0x80) {
    ++position;
    return lead;
  }
  const auto* form =
      std::find_if(kSequenceForms.begin(), kSequenceForms.end(),
                   [lead](const SequenceForm& f) { return (lead & f.markerMask) == f.marker; });
  if (form == kSequenceForms.end() || text.size() - position < form->length) {
    return std::nullopt;  // a continuation byte without lead, 0xF8-0xFF, or cut off
  }
  char32_t character = lead & static_cast<std::uint8_t>(~form->markerMask);
  for (std::size_t i = 1; i < form->length; ++i) {
    const std::uint8_t next = byteAt(position + i);
    if ((next & 0xC0) != 0x80) {
      return std::nullopt;
    }
    character = (character << 6) | (next & 0x3F);
  }
  if (character < form->smallest) {
    return std::nullopt;
  }
  position += form->length;
  return character;
}

std::optional<std::string> Utf8ToCodePage(std::string_view utf8) {
  std::string codePage;
  codePage.reserve(utf8.size());
  for (std::size_t position = 0; position < utf8.size();) {
    const std::optional<char32_t> character = NextUtf8Character(utf8, position);
    if (!character) {
      return std::nullopt;
    }
    const std::optional<std::uint8_t> byte = ByteOfCharacter(*character);
    if (!byte) {
      return std::nullopt;
    }
    codePage += static_cast<char>(*byte);
  }
  return codePage;
}

std::string CodePageToUtf8(std::string_view codePage) {
  std::string utf8;
  utf8.reserve(codePage.size());
  for (const char byte : codePage) {
    AppendUtf8(utf8, CharacterOfByte(static_cast<std::uint8_t>(byte)));
  }
  return utf8;
}

}  // namespace kestravuna::platform
