#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/detail/native_file.h"
#include "platform/file_system.h"

namespace kestravuna::platform {

void SyncFiles(const std::vector<std::filesystem::path>& files) {
  // Each flush mostly waits for the device; a few at once let the file system write their
  // data together instead of one file after the other.
  constexpr int kThreads = 4;
  std::atomic<std::size_t> next{0};
  std::mutex errorMutex;
  std::exception_ptr error;
  const auto syncSome = [&] {
    try {
      for (std::size_t i = next++; i < files.size(); i = next++) detail::SyncFileAt(files[i]);
    } catch (...) {
      const std::lock_guard lock(errorMutex);
      if (!error) error = std::current_exception();
      next = files.size();  // the others stop after their current file
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (int t = 1; t < kThreads && static_cast<std::size_t>(t) < files.size(); ++t) {
      helpers.emplace_back(syncSome);
    }
    syncSome();
  }  // joins the helpers
  if (error) std::rethrow_exception(error);
}

}  // namespace kestravuna::platform
