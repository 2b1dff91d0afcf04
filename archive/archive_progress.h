// How the packer and the unpacker reach the window: the status line, the event pump and, from
// the packer, the bytes packed so far.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace kestravuna {

struct ArchiveProgress {
  std::function<void(std::string_view)> status;  // UTF-8, e.g. "Kodiere brief.txt..."
  std::function<void()> pumpMessages;            // lets pending window events run
  // The packer: `done` of the `total` bytes of file contents copied into the archive, after
  // every piece copied.
  std::function<void(std::int64_t done, std::int64_t total)> bytesPacked = {};
};

}  // namespace kestravuna
