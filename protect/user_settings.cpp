#include "protect/user_settings.h"

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/file_system.h"

namespace kestravuna {

namespace {

constexpr std::string_view kSettingsFile = "kestravuna.conf";
constexpr std::string_view kEncryptionOn = "encrypt=true\n";
constexpr std::string_view kEncryptionOff = "encrypt=false\n";

std::span<const std::uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool RememberedEncryption() noexcept {
  try {
    std::array<std::uint8_t, 256> contents{};
    const std::size_t got =
        platform::File::OpenRead(platform::UserConfigDir() / kSettingsFile).Read(contents);
    const std::string text(contents.begin(), contents.begin() + static_cast<std::ptrdiff_t>(got));
    return text.find(kEncryptionOn) != std::string::npos;
  } catch (const std::exception&) {
    return false;  // nothing readable is kept: the box starts unchecked
  }
}

void RememberEncryption(bool encrypt) noexcept {
  try {
    const std::filesystem::path folder = platform::UserConfigDir();
    // Written aside and put in place in one step, so that a stop halfway keeps the old choice.
    auto [file, fresh] = platform::File::CreateUnique(folder, "kestravuna.conf.");
    try {
      file.Write(BytesOf(encrypt ? kEncryptionOn : kEncryptionOff));
      file.Close();
      platform::ReplaceFile(fresh, folder / kSettingsFile);
    } catch (const std::exception&) {
      platform::DeleteCreatedFile(std::move(file), fresh);
      throw;
    }
  } catch (const std::exception&) {
    // See the header: the choice is dropped.
  }
}

}  // namespace kestravuna
