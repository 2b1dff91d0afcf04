// Fixtures shared by the compressor component's tests: a stream that records what is done to
// it and fails on request, and inputs of their own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "compress/byte_stream.h"
#include "compress/zarlz.h"
#include "test_support/bytes.h"
#include "test_support/temp_folder.h"

namespace kestravuna::test_support {

// Compressible but not trivial: words from a small vocabulary in pseudo-random order.
inline Bytes TextBytes(std::size_t size) {
  static constexpr std::string_view kWords[] = {
      "Ordner ", "Datei ", "wird ", "gepackt ", "und ", "komprimiert. ", "Kestravuna ", "\n"};
  std::mt19937 generator(7);
  Bytes bytes;
  while (bytes.size() < size) {
    const std::string_view word = kWords[generator() % std::size(kWords)];
    bytes.insert(bytes.end(), word.begin(), word.end());
  }
  bytes.resize(size);
  return bytes;
}

// A memory stream that records reads and writes and fails where a test asks it to.
class ProbeStream final : public ByteStream {
 public:
  explicit ProbeStream(Bytes contents = {}) : memory_(contents) {}

  std::int64_t Read(std::span<std::uint8_t> buffer) override {
    readPositions.push_back(memory_.Position());
    if (static_cast<int>(readPositions.size()) == failingRead) return -1;
    return memory_.Read(buffer);
  }
  std::int64_t Write(std::span<const std::uint8_t> data) override {
    writeSizes.push_back(data.size());
    const auto position = static_cast<std::size_t>(memory_.Position());
    const std::size_t room = writableBytes > position ? writableBytes - position : 0;
    return memory_.Write(data.first(std::min(data.size(), room)));
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return failSeeks ? -1 : memory_.Seek(offset, origin);
  }
  std::int64_t Size() override { return sizeOverride ? *sizeOverride : memory_.Size(); }

  const Bytes& Data() const { return memory_.Data(); }

  int failingRead = 0;  // 1-based number of the read that fails; 0: none
  bool failSeeks = false;
  std::size_t writableBytes = SIZE_MAX;  // writes stop short at this position
  std::optional<std::int64_t> sizeOverride;
  std::vector<std::int64_t> readPositions;  // stream position at the start of every read
  std::vector<std::size_t> writeSizes;

 private:
  MemoryStream memory_;
};

// Calls `operation` and returns the ELzrw1Exception's message, or a note that none came.
inline std::string MessageOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const ELzrw1Exception& error) {
    return error.what();
  }
  return "(no ELzrw1Exception)";
}

}  // namespace kestravuna::test_support
