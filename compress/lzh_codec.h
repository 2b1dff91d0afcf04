// The LZH codec: LZSS over a 4096-byte ring whose literals and match lengths are coded with an
// adaptive Huffman code of 314 symbols and whose match positions use a fixed prefix code.
// The stream has no header, no end marker and no length; the caller keeps the size.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace kestravuna {

class ElzhException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Callbacks, as the codec calls them (always with count 1):
//   void read(std::uint8_t* buffer, std::uint16_t count, std::uint16_t& actual);
//     encoder: actual 0 means the end of the input; decoder: the byte counts only when
//     actual is exactly 1, otherwise a zero byte stands in for it.
//   void write(const std::uint8_t* buffer, std::uint16_t count, std::uint16_t& actual);
//     actual is ignored.
// An exception thrown by a callback leaves the codec unchanged; bytesRead is then not set.

// Compresses everything `read` delivers and sends the code stream through `write`. On return
// bytesRead holds the number of input bytes consumed.
template <class ReadBytes, class WriteBytes>
void LzhEncode(std::int32_t& bytesRead, ReadBytes&& read, WriteBytes&& write);

// Decodes until at least `size` bytes are written (a final match is copied whole, so up to 59
// more may follow). Past the end of the input the stream continues with zero bits. Returns
// the number of code bits actually used; more than 8 x the bytes `read` delivered means the
// stream was truncated.
template <class ReadBytes, class WriteBytes>
std::uint64_t LzhDecode(std::int32_t size, ReadBytes&& read, WriteBytes&& write);

}  // namespace kestravuna

// Interim bodies so that callers compile; replaced by the codec.
namespace kestravuna {
template <class ReadBytes, class WriteBytes>
void LzhEncode(std::int32_t& bytesRead, ReadBytes&& /*read*/, WriteBytes&& /*write*/) {
  bytesRead = 0;
  throw ElzhException("LZH codec not yet implemented");
}
template <class ReadBytes, class WriteBytes>
std::uint64_t LzhDecode(std::int32_t /*size*/, ReadBytes&& /*read*/, WriteBytes&& /*write*/) {
  throw ElzhException("LZH codec not yet implemented");
}
}  // namespace kestravuna
