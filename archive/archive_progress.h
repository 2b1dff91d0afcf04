// How the packer and the unpacker reach the window: the status line and the event pump.
#pragma once

#include <functional>
#include <string_view>

namespace kestravuna {

struct ArchiveProgress {
  std::function<void(std::string_view)> status;  // UTF-8, e.g. "Kodiere brief.txt..."
  std::function<void()> pumpMessages;            // lets pending window events run
};

}  // namespace kestravuna
