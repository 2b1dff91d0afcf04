#include "protect/user_settings.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace kestravuna {

namespace {

constexpr std::string_view kSettingsFile = "kestravuna.conf";
constexpr std::string_view kEncryptionOn = "encrypt=true";
constexpr std::string_view kEncryptionOff = "encrypt=false";

}  // namespace

bool RememberedEncryption() noexcept {
  try {
    std::ifstream settings(platform::UserConfigDir() / kSettingsFile);
    for (std::string line; std::getline(settings, line);) {
      if (line == kEncryptionOn) return true;
    }
  } catch (const std::exception&) {
    // Nothing readable is kept: the box starts unchecked.
  }
  return false;
}

void RememberEncryption(bool encrypt) noexcept {
  try {
    const std::filesystem::path folder = platform::UserConfigDir();
    // Written aside and put in place in one step, so that a stop halfway keeps the old choice.
    const std::filesystem::path fresh = folder / (std::string(kSettingsFile) + ".neu");
    {
      std::ofstream settings(fresh, std::ios::trunc);
      settings << (encrypt ? kEncryptionOn : kEncryptionOff) << '\n';
      if (!settings.flush()) return;
    }
    platform::ReplaceFile(fresh, folder / kSettingsFile);
  } catch (const std::exception&) {
    // See the header: the choice is dropped.
  }
}

}  // namespace kestravuna
