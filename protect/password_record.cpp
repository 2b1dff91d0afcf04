#include "protect/password_record.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/io_error.h"

namespace kestravuna {

std::uint32_t RandomSeed = 0;

namespace {

using Record = std::array<std::uint8_t, kPasswordRecordSize>;

constexpr std::size_t kFirstIdentificationAt = 0;
constexpr std::string_view kFirstIdentification = "Travun";
constexpr std::size_t kFirstFillerAt = 11;
constexpr int kFillerCount = 6;
constexpr int kFillerLength = 30;
constexpr std::size_t kFillerFieldSize = 1 + kFillerLength;
constexpr std::size_t kPasswordAt = 197;
constexpr std::size_t kNumbersAt = 228;
constexpr std::size_t kSecondIdentificationAt = 244;
constexpr std::string_view kSecondIdentification = "TRAVUN";

// Generator constants of the record format (a linear congruential generator mod 2^32).
constexpr std::uint32_t kMultiplier = 134775813;  // 0x08088405
constexpr std::uint32_t kIncrement = 1;

// A length byte followed by the text's bytes.
void PutText(Record& record, std::size_t at, std::string_view text) {
  record[at] = static_cast<std::uint8_t>(text.size());
  std::copy(text.begin(), text.end(), record.begin() + static_cast<std::ptrdiff_t>(at) + 1);
}

void PutInt32(Record& record, std::size_t at, std::uint32_t value) {
  platform::StoreLe32(std::span(record).subspan(at).first<4>(), value);
}

}  // namespace

std::uint32_t NextRandom(std::uint32_t range) {
  RandomSeed = RandomSeed * kMultiplier + kIncrement;  // wraps modulo 2^32
  return static_cast<std::uint32_t>((std::uint64_t{RandomSeed} * range) >> 32);
}

void SeedFromClock() {
  const platform::TimeOfDay now = platform::UtcTimeOfDay();
  RandomSeed = static_cast<std::uint32_t>(((now.hour * 60 + now.minute) * 60 + now.second) * 1000 +
                                          now.millisecond);
}

std::string RandomFiller(int count) {
  std::string filler;
  for (int i = 0; i < count; ++i) filler.push_back(static_cast<char>(NextRandom(255) + 1));
  return filler;
}

std::string ScrambleText(std::string_view text) {
  RandomSeed = static_cast<std::uint32_t>(text.size());
  std::string scrambled(text);
  for (char& byte : scrambled) {
    byte = static_cast<char>(static_cast<std::uint8_t>(byte) ^ NextRandom(256));
  }
  return scrambled;
}

std::span<const std::uint8_t> PasswordRecordIdentification() {
  static const Record kBeginning = [] {
    Record record{};
    PutText(record, kFirstIdentificationAt, kFirstIdentification);
    return record;
  }();
  return std::span(kBeginning).first(1 + kFirstIdentification.size());
}

void WritePasswordRecord(const std::filesystem::path& path, std::string_view password) {
  platform::File file = platform::File::Replace(path);
  Record record{};
  PutText(record, kFirstIdentificationAt, kFirstIdentification);
  PutText(record, kSecondIdentificationAt, kSecondIdentification);
  SeedFromClock();
  for (int i = 0; i < kFillerCount; ++i) {
    PutText(record, kFirstFillerAt + static_cast<std::size_t>(i) * kFillerFieldSize,
            RandomFiller(kFillerLength));
  }
  PutInt32(record, kNumbersAt, NextRandom(32368));
  PutInt32(record, kNumbersAt + 4, NextRandom(32366) + 2);
  PutInt32(record, kNumbersAt + 8, NextRandom(32364) + 3);
  PutText(record, kPasswordAt, ScrambleText(password.substr(0, kPasswordCapacity)));
  try {
    file.Write(record);
    // The protect sequence deletes the plain files right after this; the record must be on disk.
    file.Sync();
    file.Close();
  } catch (...) {
    // An empty or cut record would make the folder look protected by a record of nothing.
    platform::DeleteCreatedFile(std::move(file), path);
    throw;
  }
}

std::string ReadPasswordRecord(const std::filesystem::path& path) {
  Record record{};
  try {
    platform::File file = platform::File::OpenRead(path);
    file.ReadExact(record);
    file.Close();
  } catch (const platform::EInOutError&) {
    // A missing or unreadable record stores no password, which no restore accepts.
    return {};
  }
  // A damaged length byte above the field's capacity reads no further than the field.
  const std::size_t length = std::min<std::size_t>(record[kPasswordAt], kPasswordCapacity);
  const auto stored = std::span(record).subspan(kPasswordAt + 1, length);
  return ScrambleText(
      std::string_view(reinterpret_cast<const char*>(stored.data()), stored.size()));
}

RecordState CheckPasswordRecord(const std::filesystem::path& path) {
  switch (platform::KindOfEntry(path)) {
    case platform::EntryKind::Missing:
      return RecordState::Missing;
    case platform::EntryKind::Other:
      return RecordState::NotAFile;
    case platform::EntryKind::PlainFile:
      break;
  }
  Record record{};
  try {
    platform::File file = platform::File::OpenRead(path);
    if (file.Size() != static_cast<std::int64_t>(kPasswordRecordSize)) return RecordState::Damaged;
    file.ReadExact(record);
  } catch (const platform::EInOutError&) {
    return RecordState::Unreadable;
  }
  const auto holds = [&record](std::size_t at, std::string_view text) {
    return record[at] == text.size() &&
           std::equal(text.begin(), text.end(),
                      record.begin() + static_cast<std::ptrdiff_t>(at + 1),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
  };
  const std::uint8_t passwordLength = record[kPasswordAt];
  const bool sound = holds(kFirstIdentificationAt, kFirstIdentification) &&
                     holds(kSecondIdentificationAt, kSecondIdentification) && passwordLength >= 1 &&
                     passwordLength <= kPasswordCapacity;
  return sound ? RecordState::Sound : RecordState::Damaged;
}

// Comparing in UTF-8 is the same test as in the code page, and needs no conversion of an entry
// the code page cannot hold.
bool PasswordAccepted(std::string_view entered, std::string_view storedCodePage) {
  return !storedCodePage.empty() &&
         entered.find(platform::CodePageToUtf8(storedCodePage)) != std::string_view::npos;
}

}  // namespace kestravuna
