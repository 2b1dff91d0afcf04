// The system calls under platform::File, one small set per operating system (posix/file.cpp,
// win32/file.cpp). Everything the two systems share (the handle's life, the checks, the loops
// that retry short and interrupted transfers, the fault hook) is written once in file.cpp over
// these. Each raises EInOutError with the system's error number where it fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/file.h"

namespace kestravuna::platform::detail {

// The handle as File keeps it: a file descriptor on POSIX, a HANDLE on Windows.
using NativeHandle = std::intptr_t;

// What NativeRead and NativeWrite return when a signal stopped the call before it moved a byte.
inline constexpr std::ptrdiff_t kInterrupted = -1;

// One transfer of at most buffer.size() bytes: the count moved, which may be short (0 only at
// the end of the file for a read, and when the disk takes no more for a write), or
// kInterrupted.
std::ptrdiff_t NativeRead(NativeHandle handle, std::span<std::uint8_t> buffer);
std::ptrdiff_t NativeWrite(NativeHandle handle, std::span<const std::uint8_t> data);

void NativeSeek(NativeHandle handle, std::int64_t position);  // position is never negative
std::int64_t NativePosition(NativeHandle handle);
std::int64_t NativeSize(NativeHandle handle);
FileAccess NativeAccess(NativeHandle handle);
void NativeShareAccessOf(NativeHandle handle, const FileAccess& source);
// Flushes through a handle that may write (the caller checks that it may).
void NativeSync(NativeHandle handle);
void NativeStartFlush(NativeHandle handle) noexcept;
void NativeClose(NativeHandle handle);  // checked; the handle is gone whatever it reports
void NativeCloseUnchecked(NativeHandle handle) noexcept;

// Opens the plain file under `path` as the system needs it for a flush, counts one mutating
// operation, flushes and closes it; the durability promise is SyncFiles' (file_system.h).
void SyncFileAt(const std::filesystem::path& path);

}  // namespace kestravuna::platform::detail
