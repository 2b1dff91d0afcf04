// ReadPasswordRecord on arbitrary bytes: it must never read outside the record and never
// return more than the field's 30 characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "protect/password_record.h"

namespace {

const std::filesystem::path& RecordPath() {
  static const std::filesystem::path path = [] {
    const char* shm = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
    return base / ("kestravuna-fuzz-record-" + std::to_string(std::random_device{}()));
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(RecordPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const std::string password = kestravuna::ReadPasswordRecord(RecordPath());
  if (password.size() > kestravuna::kPasswordCapacity) std::abort();
  if (size < kestravuna::kPasswordRecordSize) {
    if (!password.empty()) std::abort();
  } else {
    const std::size_t length = std::min<std::size_t>(data[197], kestravuna::kPasswordCapacity);
    const std::string field(reinterpret_cast<const char*>(data) + 198, length);
    if (password != kestravuna::ScrambleText(field)) std::abort();
  }
  std::filesystem::remove(RecordPath());
  return 0;
}
