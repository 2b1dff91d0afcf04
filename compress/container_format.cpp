#include "compress/container_format.h"

#include <array>

#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/io_error.h"

namespace kestravuna {

std::uint32_t ContainerIdentifier(
    std::span<const std::uint8_t, kContainerFieldSize> field) noexcept {
  return platform::LoadLe32(field);
}

std::int32_t ContainerSize(std::span<const std::uint8_t, kContainerFieldSize> field) noexcept {
  return static_cast<std::int32_t>(platform::LoadLe32(field));
}

bool IsContainerFile(const std::filesystem::path& file) {
  try {
    std::array<std::uint8_t, kContainerFieldSize> field{};
    return platform::File::OpenRead(file).Read(field) == field.size() &&
           IsContainerIdentifier(ContainerIdentifier(field));
  } catch (const platform::EInOutError&) {
    return false;
  }
}

}  // namespace kestravuna
