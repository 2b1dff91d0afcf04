// The LZH codec: LZSS over a 4096-byte ring whose literals and match lengths are coded with an
// adaptive Huffman code of 314 symbols and whose match positions use a fixed prefix code for
// their upper 6 bits followed by 6 plain bits. The stream has no header, no end marker and no
// length; the caller keeps the uncompressed size.
//
// Both directions are templates over the caller's callbacks so that the per-byte calls inline;
// their definitions and the codec's inner parts (format constants, model, match finder,
// position code, bit writer and reader) are the module's own business, in
// compress/detail/lzh_codec_detail.h, which is included at the end of this header.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace kestravuna {

class ElzhException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Callbacks, one byte at a time:
//   bool readByte(std::uint8_t& byte);
//     stores the next input byte and returns true, or returns false at the end of the input
//     (the encoder stops there; the decoder goes on with a zero byte in its place).
//   void writeByte(std::uint8_t byte);
// An exception thrown by a callback passes through unchanged; bytesRead is then not set.
// Each direction does its Huffman coding on a second thread of its own, but the callbacks are
// only ever called on the calling thread, in the order of the stream.

// Compresses everything `readByte` delivers and sends the code stream through `writeByte`. On
// return bytesRead holds the number of input bytes consumed.
template <class ReadByte, class WriteByte>
void LzhEncode(std::int32_t& bytesRead, ReadByte&& readByte, WriteByte&& writeByte);

// Decodes until at least `size` bytes are written (a final match is copied whole, so up to 59
// more may follow). Past the end of the input the stream continues with zero bits. Returns
// the number of code bits actually used; more than 8 x the bytes `readByte` delivered means the
// stream was truncated.
template <class ReadByte, class WriteByte>
std::uint64_t LzhDecode(std::int32_t size, ReadByte&& readByte, WriteByte&& writeByte);

}  // namespace kestravuna

#include "compress/detail/lzh_codec_detail.h"  // IWYU pragma: export
