// The compressor component: turns one source into one container (container_format.h) and
// back, file to file or stream to stream. A container starts with an identifier naming its
// codec (LZH for mode Good, LZRW1/KH for mode Fast), so decompressing needs no mode; mode Auto
// asks Advise.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "compress/byte_stream.h"
#include "compress/container_format.h"

namespace kestravuna {

enum class TCompressMode : std::uint8_t { Good = 0, Fast = 1, Auto = 2 };

// Every failure of the component, carrying its German message.
class ELzrw1Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TZarLZ {
 public:
  using StatusSink = std::function<void(std::string_view caption)>;
  using EventPump = std::function<void()>;
  using OutputObserver = std::function<void(std::span<const std::uint8_t> written)>;
  using ProgressObserver =
      std::function<void(std::int64_t sourceBytes, std::int64_t destinationBytes)>;

  TZarLZ();
  ~TZarLZ();
  TZarLZ(const TZarLZ&) = delete;
  TZarLZ& operator=(const TZarLZ&) = delete;

  // False: file mode, InputFile to OutputFile (UTF-8 paths; the destination is created or
  // truncated). True: stream mode, from the current position of InputStream to the current
  // position of OutputStream; the streams are the caller's and are not rewound. The container
  // records the whole Size() of InputStream, so Compress refuses a source that does not deliver
  // exactly that many bytes.
  bool UseStream = false;
  std::string InputFile;
  std::string OutputFile;
  ByteStream* InputStream = nullptr;
  ByteStream* OutputStream = nullptr;
  TCompressMode CompressMode = TCompressMode::Good;
  std::int32_t Threshold = 40;  // Advise recommends Fast below this percentage
  // Progress and completion captions reach the status sink only while Visible; Advise reports
  // its captions regardless.
  bool Visible = false;

  void SetStatusSink(StatusSink sink) { statusSink_ = std::move(sink); }
  // Called between chunks so that a window stays responsive during a long run.
  void SetEventPump(EventPump pump) { eventPump_ = std::move(pump); }
  // Told of every piece of output once it has been written to the destination (and the event
  // pump has run), in order, so that another thread may read the destination as far as it has
  // been written.
  void SetOutputObserver(OutputObserver observer) { outputObserver_ = std::move(observer); }
  // Told the running byte counts wherever a progress caption falls due, also while hidden, so
  // that a front end can show its own progress of a run that keeps the component hidden.
  void SetProgressObserver(ProgressObserver observer) { progressObserver_ = std::move(observer); }
  const std::string& Caption() const noexcept { return caption_; }

  // How far the running operation has come, for a progress display (for instance from the event
  // pump): the source bytes read of the source's size when compressing, the bytes decoded of
  // the stored size when decompressing; both 0 while no operation runs.
  struct Progress {
    std::int64_t done = 0;
    std::int64_t total = 0;
  };
  Progress CurrentProgress() const noexcept;

  // Returns the container bytes written, header included.
  std::int64_t Compress();
  // Returns the decoded bytes written.
  std::int64_t Decompress();
  // After a Decompress that succeeded: how many bytes of the container behind its header the
  // codec used. A container written by Compress ends there (but for the two bytes of code of an
  // empty LZH source, which its decoder never needs); bytes behind it are no part of it.
  std::int64_t BodyBytesUsed() const noexcept { return bodyBytesUsed_; }
  // Recommends Good or Fast for the current source by test-compressing two samples.
  TCompressMode Advise();

  // The same operations on what they are given, for a caller that keeps no settings in the
  // component between runs: stream mode from `source` to `destination`, or file mode between two
  // paths, in `mode`. UseStream, the files, the streams and CompressMode are as they were when
  // the operation returns, however it ends.
  std::int64_t Compress(ByteStream& source, ByteStream& destination, TCompressMode mode);
  std::int64_t Compress(const std::filesystem::path& source,
                        const std::filesystem::path& destination, TCompressMode mode);
  std::int64_t Decompress(ByteStream& source, ByteStream& destination);

 private:
  struct WorkingState;
  class OperationScope;
  class OperationSettings;

  // Setup shared by the operations
  std::int64_t SourceSize() const;
  void OpenSourceAndDestination();
  void CloseDestination();
  void DiscardDestination() noexcept;

  // Bodies of the two codecs
  void CompressLzrw1Kh();
  void DecompressLzrw1Kh(std::int64_t uncompressedSize);
  void CompressLzh();
  void DecompressLzh(std::int32_t uncompressedSize);

  // The LZH codec moves single bytes; these batch them into 32,768-byte chunks. ReadByte
  // returns false at the end of the source.
  bool ReadByte(std::uint8_t& byte);
  void WriteByte(std::uint8_t byte);
  bool RefillReadBuffer();
  void FlushWriteBuffer();

  // Fixed-size transfers: a count other than the expected one is the mode's read or write
  // error; a complete transfer lets pending events run.
  void ReadExact(std::span<std::uint8_t> buffer);
  void WriteExact(std::span<const std::uint8_t> data);
  void CheckRead(std::int64_t got, std::int64_t expected);
  void CheckWrite(std::int64_t written, std::int64_t expected);

  void SetCaption(std::string text);
  void ShowProgress(std::string_view sourceLabel);
  void ShowCompletion(std::string_view done);
  void PumpEvents() const;

  StatusSink statusSink_;
  EventPump eventPump_;
  OutputObserver outputObserver_;
  ProgressObserver progressObserver_;
  std::string caption_;
  std::int64_t bodyBytesUsed_ = 0;
  std::unique_ptr<WorkingState> state_;  // present only while an operation runs
};

}  // namespace kestravuna
