#include "platform/file.h"

namespace kestravuna::platform {

namespace {

constexpr std::uint32_t kGroupBits = 070;

}  // namespace

FileAccess NarrowestAccess(const FileAccess& a, const FileAccess& b) noexcept {
  FileAccess narrowest{a.mode & b.mode, a.group};
  if (a.group != b.group) narrowest.mode &= ~kGroupBits;
  return narrowest;
}

}  // namespace kestravuna::platform
