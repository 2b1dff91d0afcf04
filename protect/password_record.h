// The password record CHIFF.CRD: 256 bytes that keep the folder's password scrambled among
// random filler, so the file shows no readable password. The scrambling is not encryption.
//
//   offset size content
//     0     7   length 6, "Travun"
//     7     4   reserved, zero
//    11   6*31  six filler texts: length 30, then 30 random bytes 1..255
//   197    31   password: length n (0..30), then the n scrambled bytes
//   228     4   random number 0..32367
//   232     4   random number 2..32367
//   236     4   random number 3..32366
//   240     4   reserved, zero
//   244     7   length 6, "TRAVUN"
//   251     5   reserved, zero
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace kestravuna {

inline constexpr std::size_t kPasswordRecordSize = 256;
// A longer password stores its first 30 characters; restore accepts any entered password
// that contains the stored text, so the full password still opens the folder.
inline constexpr std::size_t kPasswordCapacity = 30;

// The bytes every record begins with: the length byte 6 and "Travun".
std::span<const std::uint8_t> PasswordRecordIdentification();

// The program's one pseudo-random generator state; 0 at program start. Existing records
// depend on its exact sequence.
extern std::uint32_t RandomSeed;

// Advances RandomSeed and returns a number in 0..range-1 (range at least 1).
std::uint32_t NextRandom(std::uint32_t range);
// RandomSeed := milliseconds since midnight, UTC.
void SeedFromClock();
// `count` random bytes, each 1..255.
std::string RandomFiller(int count);
// XORs each byte with the generator seeded by the text's length; its own inverse.
std::string ScrambleText(std::string_view text);

// Writes the record for `password` (8-bit code page bytes) at `path`, replacing any file
// there, and flushes it to the disk. Raises platform::EInOutError when that fails.
void WritePasswordRecord(const std::filesystem::path& path, std::string_view password);
// The stored password (code page bytes, at most 30); the empty text when the file is
// missing, unreadable or shorter than a record.
std::string ReadPasswordRecord(const std::filesystem::path& path);

// What a check finds at `path`, where ReadPasswordRecord would give the empty text for every
// fault alike. Sound: a plain file of exactly one record with both identification texts and a
// stored password of 1 to 30 characters.
enum class RecordState { Missing, NotAFile, Unreadable, Damaged, Sound };
RecordState CheckPasswordRecord(const std::filesystem::path& path);

// The restore's rule: the entered password (UTF-8) must hold the stored one (code page bytes);
// an empty stored password opens nothing.
bool PasswordAccepted(std::string_view entered, std::string_view storedCodePage);

}  // namespace kestravuna
