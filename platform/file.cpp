// What platform::File is on every system, over the native calls of detail/native_file.h: the
// handle's life, the open check, the transfer loops and the points where the fault hook counts.
#include "platform/file.h"

#include <utility>

#include "platform/detail/fault_injection.h"
#include "platform/detail/native_file.h"
#include "platform/io_error.h"

namespace kestravuna::platform {

namespace {

// ERROR_NEGATIVE_SEEK of Windows, "I/O-Fehler 131". POSIX would say EINVAL, which reads as
// "invalid file name".
constexpr int kNegativeSeek = 131;

}  // namespace

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)),
      writable_(std::exchange(other.writable_, false)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) detail::NativeCloseUnchecked(handle_);
    handle_ = std::exchange(other.handle_, kClosed);
    writable_ = std::exchange(other.writable_, false);
  }
  return *this;
}

File::~File() {
  // Unchecked: an exception is already on its way, or Close was skipped.
  if (handle_ != kClosed) detail::NativeCloseUnchecked(handle_);
}

void File::RequireOpen() const {
  if (handle_ == kClosed) throw EInOutError(io_error::kFileNotOpen);
}

std::size_t File::Read(std::span<std::uint8_t> buffer) {
  RequireOpen();
  // Fills the buffer unless the end comes first, so a short count always means the end.
  std::size_t total = 0;
  while (total < buffer.size()) {
    const std::ptrdiff_t count = detail::NativeRead(handle_, buffer.subspan(total));
    if (count == detail::kInterrupted) continue;
    if (count == 0) break;
    total += static_cast<std::size_t>(count);
  }
  return total;
}

void File::ReadExact(std::span<std::uint8_t> buffer) {
  if (Read(buffer) != buffer.size()) throw EInOutError(io_error::kReadBeyondEnd);
}

void File::Write(std::span<const std::uint8_t> data) {
  RequireOpen();
  BeforeMutatingFileOperation();
  std::size_t total = 0;
  while (total < data.size()) {
    const std::ptrdiff_t count = detail::NativeWrite(handle_, data.subspan(total));
    if (count == detail::kInterrupted) continue;
    if (count == 0) throw EInOutError(io_error::kDiskFull);
    total += static_cast<std::size_t>(count);
  }
}

void File::Seek(std::int64_t position) {
  RequireOpen();
  if (position < 0) throw EInOutError(kNegativeSeek);
  detail::NativeSeek(handle_, position);
}

std::int64_t File::Position() const {
  RequireOpen();
  return detail::NativePosition(handle_);
}

std::int64_t File::Size() const {
  RequireOpen();
  return detail::NativeSize(handle_);
}

FileAccess File::Access() const {
  RequireOpen();
  return detail::NativeAccess(handle_);
}

void File::ShareAccessOf(const FileAccess& source) {
  RequireOpen();
  BeforeMutatingFileOperation();
  detail::NativeShareAccessOf(handle_, source);
}

void File::Sync() {
  RequireOpen();
  // Windows flushes only through a handle that may write. The rule holds on every system, so
  // that no caller counts on a flush that does nothing on the other one.
  if (!writable_) throw EInOutError(io_error::kAccessDenied);
  BeforeMutatingFileOperation();
  detail::NativeSync(handle_);
}

void File::StartFlush() noexcept {
  if (IsOpen()) detail::NativeStartFlush(handle_);
}

void File::Close() {
  RequireOpen();
  if (writable_) BeforeMutatingFileOperation();
  // The handle is gone after a close even when it fails, so the destructor must not close it
  // a second time.
  const NativeHandle handle = std::exchange(handle_, kClosed);
  writable_ = false;
  detail::NativeClose(handle);
}

}  // namespace kestravuna::platform
