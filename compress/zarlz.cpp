// The compressor component. Reads top to bottom: constants, helpers, error texts, working state,
// shared setup, the LZRW1/KH body, the LZH body with its byte batching, the three operations.
#include "compress/zarlz.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "compress/lzh_codec.h"
#include "compress/lzrw1kh.h"
#include "platform/byte_order.h"
#include "platform/file_system.h"
#include "platform/io_error.h"
#include "platform/utf8_path.h"

namespace kestravuna {
namespace {

// ---------------------------------------------------------------------------------------------
// Constants

// Sources are read, LZRW1/KH blocks coded and LZH output written in chunks of this size.
constexpr std::size_t kChunkSize = kLzrw1KhMaxSource;
// The block codec may write a few bytes past a block before it notices growth.
constexpr std::size_t kBufferSize = kChunkSize + 16;
static_assert(kBufferSize >= kChunkSize + kLzrw1KhDestSlack);
static_assert(kBufferSize >= kLzrw1KhMaxBlock);

constexpr auto kHeaderSize = static_cast<std::int64_t>(kContainerHeaderSize);
constexpr auto kFieldSize = static_cast<std::int64_t>(kContainerFieldSize);
// The size field is signed 32-bit; larger sources cannot be described.
constexpr std::int64_t kLargestSource = std::numeric_limits<std::int32_t>::max();
// Sources below three chunks are not worth sampling: they get Good without a byte being read.
constexpr std::int64_t kAdviseMinimumSize = 3 * static_cast<std::int64_t>(kChunkSize);
// The LZH decoder buffers a few bytes ahead of the bits it has used (8 at most). One that
// keeps asking for bytes well past the end of the container has used bits that are not there:
// the container is cut off, and decoding on up to the stored size would only produce garbage.
// The margin is wide so that a deeper read-ahead never turns a sound container into an error.
constexpr int kLzhReadsPastEndAllowed = 64;
// The block loops and the byte batching label their progress slightly differently, one blank
// after the colon or two, as the component's captions are defined.
constexpr std::string_view kBlockProgress = "Quell-Bytes: ";
constexpr std::string_view kStreamProgress = "Quell-Bytes:  ";

// ---------------------------------------------------------------------------------------------
// Small helpers

// The ratio of the completion and advice captions, truncated. An empty source has no ratio;
// it is shown as 100, "nothing gained".
std::int64_t RatioPercent(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? part * 100 / whole : 100;
}

// Puts a caller's stream back to where it stood; no stream, nothing to do.
class StreamPositionRestorer {
 public:
  StreamPositionRestorer(ByteStream* stream, std::int64_t position)
      : stream_(stream), position_(position) {}
  ~StreamPositionRestorer() {
    if (stream_ != nullptr) stream_->Seek(position_, SeekOrigin::Begin);
  }
  StreamPositionRestorer(const StreamPositionRestorer&) = delete;
  StreamPositionRestorer& operator=(const StreamPositionRestorer&) = delete;

 private:
  ByteStream* stream_;
  std::int64_t position_;
};

// A read that claims more bytes than were asked for is as broken as a failed one.
std::int64_t ReadSome(ByteStream& stream, std::span<std::uint8_t> buffer) {
  const std::int64_t count = stream.Read(buffer);
  return count > static_cast<std::int64_t>(buffer.size()) ? -1 : count;
}

// ---------------------------------------------------------------------------------------------
// Error texts. File mode names the file, before or behind the text; stream mode has no name.

struct ErrorText {
  enum class Name { None, InputAfter, InputBefore, OutputAfter };
  std::string_view stream;
  std::string_view file;
  Name name = Name::None;
};
using Name = ErrorText::Name;

constexpr ErrorText kNoBuffers{"Es kann kein Speicher für E/A-Operationen reserviert werden.",
                               "Es kann kein Speicher für E/A-Operationen reserviert werden."};
constexpr ErrorText kSizeUnknown{
    "Fehler beim Feststellen der Datengrößen.",
    "Fehler beim Feststellen der Dateigröße(n) von: ", Name::InputAfter};
constexpr ErrorText kTooLarge{
    "Die Daten sind zu groß für das Format (2 GiB oder mehr).",
    "Die Datei ist zu groß für das Format (2 GiB oder mehr): ", Name::InputAfter};
constexpr ErrorText kSourceNotReady{"Fehler beim Initialisieren der Quelldaten.",
                                    "Fehler beim Öffnen folgender Quelldatei: ", Name::InputAfter};
constexpr ErrorText kDestinationNotReady{
    "Fehler beim Initialisieren der Zieldaten.",
    "Fehler beim Öffnen folgender Zieldatei: ", Name::OutputAfter};
constexpr ErrorText kReadFailed{
    "Fehler beim Lesen der Quelldaten: ", "Fehler beim Lesen der Quelldatei: ", Name::InputAfter};
constexpr ErrorText kWriteFailed{"Fehler beim Schreiben der Zieldaten: ",
                                 "Fehler beim Schreiben der Zieldatei: ", Name::OutputAfter};
constexpr ErrorText kUnknownIdentifier{"Die Daten sind ungültig.", " hat ein ungültiges Format.",
                                       Name::InputBefore};
constexpr ErrorText kSizeMismatch{
    "Größen von Quell- und Zieldatei liegen außerhalb des gültigen Verhältnisindexes.",
    "Größen von Quell- und Zieldatei liegen außerhalb des gültigen Verhältnisindexes."};
// A block whose items would reach outside the buffers of one chunk.
constexpr ErrorText kCorruptBlock{"Die komprimierten Daten sind beschädigt.",
                                  "Die komprimierten Daten sind beschädigt."};
// An operation started from an event handler while another one of this instance runs.
constexpr ErrorText kBusy{"Der Komprimierer arbeitet bereits.",
                          "Der Komprimierer arbeitet bereits."};

constexpr ErrorText kAdviseNoBuffers{
    "Es konnte nicht genügend E/A-Speicher für die Prüfung reserviert werden.",
    "Es konnte nicht genügend E/A-Speicher für die Prüfung reserviert werden."};
constexpr ErrorText kAdviseSizeUnknown{"Die Größe der Daten konnte nicht festgestellt werden.",
                                       "Fehler beim Feststellen der Größe von ", Name::InputAfter};
constexpr ErrorText kAdviseSourceNotReady{"Fehler bei der Initialisierung der Prüfungsroutine.",
                                          "Fehler beim Öffnen von ", Name::InputAfter};
// "Qzelldaten" is the component's own text, typing error included; it stays as it is.
constexpr ErrorText kAdviseReadFailed{"Fehler beim Lesen der Qzelldaten.", "Fehler beim Lesen von ",
                                      Name::InputAfter};

// A file the component names in a message or caption, as a user knows it.
std::string Shown(const std::string& utf8Path) {
  return platform::DisplayPath(platform::PathFromUtf8(utf8Path));
}

[[noreturn]] void Fail(const TZarLZ& component, const ErrorText& text) {
  if (component.UseStream) throw ELzrw1Exception(std::string(text.stream));
  switch (text.name) {
    case Name::None:
      break;
    case Name::InputAfter:
      throw ELzrw1Exception(std::string(text.file) + Shown(component.InputFile));
    case Name::InputBefore:
      throw ELzrw1Exception(Shown(component.InputFile) + std::string(text.file));
    case Name::OutputAfter:
      throw ELzrw1Exception(std::string(text.file) + Shown(component.OutputFile));
  }
  throw ELzrw1Exception(std::string(text.file));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Working state of one operation: allocated at its start, freed at its end.

struct TZarLZ::WorkingState {
  std::vector<std::uint8_t> input = std::vector<std::uint8_t>(kBufferSize);
  std::vector<std::uint8_t> output = std::vector<std::uint8_t>(kBufferSize);
  Lzrw1KhState lzrw1kh;                  // the fast codec's encoder tables
  std::optional<FileStream> sourceFile;  // file mode only
  std::optional<FileStream> destinationFile;
  bool destinationCreated = false;  // file mode: this operation made the destination file
  ByteStream* source = nullptr;
  ByteStream* destination = nullptr;
  std::int64_t sourceBytes = 0;       // consumed from the source, header included when decoding
  std::int64_t destinationBytes = 0;  // written to the destination, header included when encoding
  std::size_t readFill = 0;           // LZH batching: valid bytes in `input`
  std::size_t readPosition = 0;       // next byte of `input` to hand to the codec
  std::size_t writeFill = 0;          // bytes of `output` waiting to be written
  bool decoding = false;              // progress counts the bytes written, not those read
  std::int64_t progressTotal = 0;     // the source's size, or the stored size when decoding
};

class TZarLZ::OperationScope {
 public:
  OperationScope(TZarLZ& owner, const ErrorText& noBuffers) : owner_(owner) {
    // The event pump may run a handler that starts another operation on this instance; it
    // would pull the buffers from under the running one.
    if (owner.state_) Fail(owner, kBusy);
    try {
      owner.state_ = std::make_unique<WorkingState>();
    } catch (const std::bad_alloc&) {
      Fail(owner, noBuffers);
    }
  }
  ~OperationScope() { owner_.state_.reset(); }
  OperationScope(const OperationScope&) = delete;
  OperationScope& operator=(const OperationScope&) = delete;

 private:
  TZarLZ& owner_;
};

TZarLZ::TZarLZ() = default;
TZarLZ::~TZarLZ() = default;

// ---------------------------------------------------------------------------------------------
// Captions, events and checked transfers

void TZarLZ::SetCaption(std::string text) {
  caption_ = std::move(text);
  if (statusSink_) statusSink_(caption_);
}

void TZarLZ::ShowProgress(std::string_view sourceLabel) {
  if (progressObserver_) progressObserver_(state_->sourceBytes, state_->destinationBytes);
  if (!Visible) return;
  SetCaption(std::string(sourceLabel) + std::to_string(state_->sourceBytes) +
             "  Ziel-Bytes: " + std::to_string(state_->destinationBytes));
}

// P compares what was written with what was read: the container against the source when
// compressing, the decoded bytes against the whole container when decompressing.
void TZarLZ::ShowCompletion(std::string_view done) {
  if (!Visible) return;
  const std::string percent =
      std::to_string(RatioPercent(state_->destinationBytes, state_->sourceBytes));
  const std::string subject = UseStream ? "Die Daten wurden" : Shown(InputFile) + " wurde";
  SetCaption(subject + " erfolgreich " + std::string(done) + " bei " + percent + "%");
}

TZarLZ::Progress TZarLZ::CurrentProgress() const noexcept {
  if (!state_) return {};
  return {state_->decoding ? state_->destinationBytes : state_->sourceBytes, state_->progressTotal};
}

void TZarLZ::PumpEvents() const {
  if (eventPump_) eventPump_();
}

void TZarLZ::CheckRead(std::int64_t got, std::int64_t expected) {
  if (got != expected) Fail(*this, kReadFailed);
  PumpEvents();
}

void TZarLZ::CheckWrite(std::int64_t written, std::int64_t expected) {
  if (written != expected) Fail(*this, kWriteFailed);
  PumpEvents();
}

void TZarLZ::ReadExact(std::span<std::uint8_t> buffer) {
  CheckRead(ReadSome(*state_->source, buffer), static_cast<std::int64_t>(buffer.size()));
}

void TZarLZ::WriteExact(std::span<const std::uint8_t> data) {
  CheckWrite(state_->destination->Write(data), static_cast<std::int64_t>(data.size()));
  if (outputObserver_) outputObserver_(data);
}

// ---------------------------------------------------------------------------------------------
// Setup shared by the operations

std::int64_t TZarLZ::SourceSize() const {
  if (UseStream) return InputStream != nullptr ? InputStream->Size() : -1;
  // Opened for reading only: taking the size must not refuse a read-only source.
  FileStream probe(platform::PathFromUtf8(InputFile), FileStream::Mode::Read);
  return probe.IsOpen() ? probe.Size() : -1;
}

void TZarLZ::OpenSourceAndDestination() {
  WorkingState& state = *state_;
  if (UseStream) {
    // The streams stay where the caller put them; these seeks only prove they are usable.
    if (InputStream == nullptr || InputStream->Seek(0, SeekOrigin::Current) < 0) {
      Fail(*this, kSourceNotReady);
    }
    if (OutputStream == nullptr || OutputStream->Seek(0, SeekOrigin::Current) < 0) {
      Fail(*this, kDestinationNotReady);
    }
    state.source = InputStream;
    state.destination = OutputStream;
    return;
  }
  const std::filesystem::path inputPath = platform::PathFromUtf8(InputFile);
  const std::filesystem::path outputPath = platform::PathFromUtf8(OutputFile);
  state.sourceFile.emplace(inputPath, FileStream::Mode::Read);
  if (!state.sourceFile->IsOpen()) Fail(*this, kSourceNotReady);
  // Creating the destination truncates it; were it the source itself, the source would be
  // gone before a byte of it was read.
  std::error_code notComparable;
  if (std::filesystem::equivalent(inputPath, outputPath, notComparable)) {
    Fail(*this, kDestinationNotReady);
  }
  state.destinationFile.emplace(outputPath, FileStream::Mode::Create);
  if (!state.destinationFile->IsOpen()) Fail(*this, kDestinationNotReady);
  state.destinationCreated = true;
  state.source = &*state.sourceFile;
  state.destination = &*state.destinationFile;
}

// The destination file was created owner-only; finished, it is opened to others as far as
// its source is and no further. A failed close may have lost bytes: that is a failed write.
void TZarLZ::CloseDestination() {
  if (UseStream) return;
  if (!state_->destinationFile->ShareAccessOf(*state_->sourceFile) ||
      !state_->destinationFile->Close()) {
    Fail(*this, kWriteFailed);
  }
}

// In file mode a failed operation leaves no destination behind; streams are the caller's.
// Only the file this operation created is removed; when it could not be created, whatever
// stands under the name is someone else's.
void TZarLZ::DiscardDestination() noexcept {
  if (UseStream || !state_->destinationCreated) return;
  state_->destinationFile.reset();
  const std::filesystem::path path = platform::PathFromUtf8(OutputFile);
  try {
    if (platform::KindOfEntry(path) == platform::EntryKind::PlainFile) platform::DeleteFile(path);
  } catch (const platform::EInOutError&) {
    // The operation's own error is on its way; a destination that stays is named in it.
  }
}

// ---------------------------------------------------------------------------------------------
// LZRW1/KH body: blocks of a 16-bit length and the block data

void TZarLZ::CompressLzrw1Kh() {
  WorkingState& state = *state_;
  state.sourceBytes = 0;
  std::int64_t count = 0;
  // A source that fills its last chunk exactly still gets a final short block, the empty one,
  // so that the decoder knows where the body ends.
  do {
    count = ReadSome(*state.source, std::span(state.input).first(kChunkSize));
    if (count < 0) Fail(*this, kReadFailed);
    PumpEvents();
    state.sourceBytes += count;
    const std::size_t blockLength = Lzrw1KhCompress(
        std::span(state.input).first(static_cast<std::size_t>(count)), state.output, state.lzrw1kh);
    std::array<std::uint8_t, 2> lengthField{};
    platform::StoreLe16(lengthField, static_cast<std::uint16_t>(blockLength));
    WriteExact(lengthField);
    state.destinationBytes += 2;
    WriteExact(std::span(state.output).first(blockLength));
    state.destinationBytes += static_cast<std::int64_t>(blockLength);
    ShowProgress(kBlockProgress);
  } while (count == static_cast<std::int64_t>(kChunkSize));
}

void TZarLZ::DecompressLzrw1Kh(std::int64_t uncompressedSize) {
  WorkingState& state = *state_;
  std::size_t produced = kChunkSize;
  while (produced == kChunkSize) {
    std::array<std::uint8_t, 2> lengthField{};
    ReadExact(lengthField);
    const std::size_t blockLength = platform::LoadLe16(lengthField);
    if (blockLength > kLzrw1KhMaxBlock) Fail(*this, kCorruptBlock);
    const auto block = std::span(state.input).first(blockLength);
    ReadExact(block);
    state.sourceBytes += static_cast<std::int64_t>(blockLength) + 2;
    // One block never decodes to more than a chunk; the codec refuses anything beyond.
    const std::optional<std::size_t> decoded =
        Lzrw1KhDecompress(block, std::span(state.output).first(kChunkSize));
    if (!decoded) Fail(*this, kCorruptBlock);
    produced = *decoded;
    // Once past the stored size the container is wrong whatever follows; stop writing now.
    if (state.destinationBytes + static_cast<std::int64_t>(produced) > uncompressedSize) {
      Fail(*this, kSizeMismatch);
    }
    WriteExact(std::span(state.output).first(produced));
    state.destinationBytes += static_cast<std::int64_t>(produced);
    ShowProgress(kBlockProgress);
  }
  if (state.destinationBytes != uncompressedSize) Fail(*this, kSizeMismatch);
  bodyBytesUsed_ = state.sourceBytes - kHeaderSize;  // the blocks are read exactly
}

// ---------------------------------------------------------------------------------------------
// LZH body. The codec pulls and pushes single bytes; ReadByte and WriteByte serve them from
// the two buffers and touch the streams once per chunk. Their fast paths are defined here, in
// the same translation unit as the codec calls, so that they inline into the codec loops.

bool TZarLZ::RefillReadBuffer() {
  WorkingState& state = *state_;
  const std::int64_t count = ReadSome(*state.source, std::span(state.input).first(kChunkSize));
  if (count < 0) Fail(*this, kReadFailed);
  state.readFill = static_cast<std::size_t>(count);
  state.readPosition = 0;
  state.sourceBytes += count;
  PumpEvents();
  ShowProgress(kStreamProgress);
  return count > 0;
}

void TZarLZ::FlushWriteBuffer() {
  WorkingState& state = *state_;
  WriteExact(std::span(state.output).first(state.writeFill));
  state.destinationBytes += static_cast<std::int64_t>(state.writeFill);
  state.writeFill = 0;
  ShowProgress(kStreamProgress);
}

inline bool TZarLZ::ReadByte(std::uint8_t& byte) {
  WorkingState& state = *state_;
  if (state.readPosition >= state.readFill && !RefillReadBuffer()) return false;
  byte = state.input[state.readPosition++];
  return true;
}

// The destination receives whole chunks and then, at the final flush, the remainder.
inline void TZarLZ::WriteByte(std::uint8_t byte) {
  WorkingState& state = *state_;
  if (state.writeFill == kChunkSize) FlushWriteBuffer();
  state.output[state.writeFill++] = byte;
}

void TZarLZ::CompressLzh() {
  WorkingState& state = *state_;
  state.readFill = state.readPosition = state.writeFill = 0;
  // The codec's count of bytes read is not needed: the header already holds the size.
  std::int32_t bytesRead = 0;
  LzhEncode(
      bytesRead, [this](std::uint8_t& byte) { return ReadByte(byte); },
      [this](std::uint8_t byte) { WriteByte(byte); });
  FlushWriteBuffer();
}

void TZarLZ::DecompressLzh(std::int32_t uncompressedSize) {
  WorkingState& state = *state_;
  state.readFill = state.readPosition = state.writeFill = 0;
  int readsPastEnd = 0;
  const std::uint64_t usedBits = LzhDecode(
      uncompressedSize,
      [this, &readsPastEnd](std::uint8_t& byte) {
        if (ReadByte(byte)) return true;
        if (++readsPastEnd > kLzhReadsPastEndAllowed) Fail(*this, kReadFailed);
        return false;
      },
      [this](std::uint8_t byte) { WriteByte(byte); });
  FlushWriteBuffer();
  // Past its end the stream reads as zero bits, which decode to something: a decoder that
  // needed more bits than the body holds decoded a container that was cut off.
  const auto bodyBytes = static_cast<std::uint64_t>(state.sourceBytes - kHeaderSize);
  if (usedBits > 8 * bodyBytes) Fail(*this, kReadFailed);
  // A final match may run past the size; the extra bytes make the sizes differ.
  if (state.destinationBytes != uncompressedSize) Fail(*this, kSizeMismatch);
  // The encoder pads its last byte with zero bits and writes nothing after it.
  bodyBytesUsed_ = static_cast<std::int64_t>((usedBits + 7) / 8);
}

// ---------------------------------------------------------------------------------------------
// The operations

std::int64_t TZarLZ::Compress() {
  const TCompressMode codec = CompressMode == TCompressMode::Auto ? Advise() : CompressMode;
  OperationScope operation(*this, kNoBuffers);
  const std::int64_t sourceSize = SourceSize();
  if (sourceSize < 0) Fail(*this, kSizeUnknown);
  if (sourceSize > kLargestSource) Fail(*this, kTooLarge);
  OpenSourceAndDestination();
  WorkingState& state = *state_;
  state.progressTotal = sourceSize;
  try {
    std::array<std::uint8_t, kContainerFieldSize> field{};
    platform::StoreLe32(field, codec == TCompressMode::Fast ? LzrwIdentifier : LzhIdentifier);
    WriteExact(field);
    state.destinationBytes = kFieldSize;
    state.sourceBytes = 0;
    platform::StoreLe32(field, static_cast<std::uint32_t>(sourceSize));
    WriteExact(field);
    state.destinationBytes = kHeaderSize;
    if (codec == TCompressMode::Fast) {
      CompressLzrw1Kh();
    } else {
      CompressLzh();
    }
    // A source that changed while it was read, or a stream not read from its start, gives a
    // body that disagrees with the size field; such a container could never be restored.
    if (state.sourceBytes != sourceSize) Fail(*this, kSizeMismatch);
    CloseDestination();
  } catch (...) {
    DiscardDestination();
    throw;
  }
  ShowCompletion("komprimiert");
  return state.destinationBytes;
}

std::int64_t TZarLZ::Decompress() {
  OperationScope operation(*this, kNoBuffers);
  OpenSourceAndDestination();
  WorkingState& state = *state_;
  state.decoding = true;
  try {
    std::array<std::uint8_t, kContainerFieldSize> field{};
    ReadExact(field);
    const std::uint32_t identifier = ContainerIdentifier(field);
    if (!IsContainerIdentifier(identifier)) Fail(*this, kUnknownIdentifier);
    state.sourceBytes = kFieldSize;
    state.destinationBytes = 0;
    bodyBytesUsed_ = 0;
    ReadExact(field);
    const std::int32_t uncompressedSize = ContainerSize(field);
    state.sourceBytes += kFieldSize;
    state.progressTotal = uncompressedSize;
    if (identifier == LzrwIdentifier) {
      DecompressLzrw1Kh(uncompressedSize);
    } else {
      DecompressLzh(uncompressedSize);
    }
    CloseDestination();
  } catch (...) {
    DiscardDestination();
    throw;
  }
  ShowCompletion("dekomprimiert");
  return state.destinationBytes;
}

// The settings of one operation on what it was given, and the caller's settings back at its end.
class TZarLZ::OperationSettings {
 public:
  explicit OperationSettings(TZarLZ& owner)
      : owner_(owner),
        useStream_(owner.UseStream),
        inputFile_(owner.InputFile),
        outputFile_(owner.OutputFile),
        input_(owner.InputStream),
        output_(owner.OutputStream),
        mode_(owner.CompressMode) {}
  ~OperationSettings() {
    owner_.UseStream = useStream_;
    owner_.InputFile = std::move(inputFile_);
    owner_.OutputFile = std::move(outputFile_);
    owner_.InputStream = input_;
    owner_.OutputStream = output_;
    owner_.CompressMode = mode_;
  }
  OperationSettings(const OperationSettings&) = delete;
  OperationSettings& operator=(const OperationSettings&) = delete;

 private:
  TZarLZ& owner_;
  bool useStream_;
  std::string inputFile_;
  std::string outputFile_;
  ByteStream* input_;
  ByteStream* output_;
  TCompressMode mode_;
};

std::int64_t TZarLZ::Compress(ByteStream& source, ByteStream& destination, TCompressMode mode) {
  const OperationSettings settings(*this);
  UseStream = true;
  InputStream = &source;
  OutputStream = &destination;
  CompressMode = mode;
  return Compress();
}

std::int64_t TZarLZ::Compress(const std::filesystem::path& source,
                              const std::filesystem::path& destination, TCompressMode mode) {
  const OperationSettings settings(*this);
  UseStream = false;
  InputFile = platform::Utf8Of(source);
  OutputFile = platform::Utf8Of(destination);
  CompressMode = mode;
  return Compress();
}

std::int64_t TZarLZ::Decompress(ByteStream& source, ByteStream& destination) {
  const OperationSettings settings(*this);
  UseStream = true;
  InputStream = &source;
  OutputStream = &destination;
  return Decompress();
}

// The advice compresses two chunk-aligned samples, a third and two thirds into the source,
// with the fast codec. Fast pays off only where it alone gets well under Threshold percent;
// everything else deserves the slower, denser codec.
TCompressMode TZarLZ::Advise() {
  std::int64_t entryPosition = 0;
  if (UseStream) {
    SetCaption("Wähle die beste Kompressionsmethode für die Daten.");
    entryPosition = InputStream != nullptr ? InputStream->Position() : -1;
  } else {
    SetCaption("Wähle die beste Kompressionsmethode für " + Shown(InputFile));
  }
  OperationScope operation(*this, kAdviseNoBuffers);
  const std::int64_t size = SourceSize();
  if (size < 0) Fail(*this, kAdviseSizeUnknown);
  WorkingState& state = *state_;
  if (UseStream) {
    // A stream that cannot tell its position could not be put back afterwards.
    if (entryPosition < 0 || InputStream->Seek(0, SeekOrigin::Begin) < 0) {
      Fail(*this, kAdviseSourceNotReady);
    }
    state.source = InputStream;
  } else {
    state.sourceFile.emplace(platform::PathFromUtf8(InputFile), FileStream::Mode::Read);
    if (!state.sourceFile->IsOpen()) Fail(*this, kAdviseSourceNotReady);
    state.source = &*state.sourceFile;
  }
  // From here on the caller's stream goes back to where it was, also when a sample fails.
  const StreamPositionRestorer restorer(UseStream ? InputStream : nullptr, entryPosition);

  if (size < kAdviseMinimumSize) {
    CompressMode = TCompressMode::Good;
    SetCaption("Es wird gute Kompression empfohlen:  keine Datei !");
    return TCompressMode::Good;
  }
  std::int64_t sampled = 0;
  std::int64_t packed = 0;
  for (const std::int64_t third : {size / 3, size * 2 / 3}) {
    // A failed seek goes unnoticed: the read then simply delivers fewer bytes, and an empty
    // sample still costs its one flag byte.
    const auto chunk = static_cast<std::int64_t>(kChunkSize);
    state.source->Seek(third / chunk * chunk, SeekOrigin::Begin);
    const std::int64_t count = ReadSome(*state.source, std::span(state.input).first(kChunkSize));
    if (count < 0) Fail(*this, kAdviseReadFailed);
    PumpEvents();
    sampled += count;
    packed += static_cast<std::int64_t>(
        Lzrw1KhCompress(std::span(state.input).first(static_cast<std::size_t>(count)), state.output,
                        state.lzrw1kh));
  }
  const std::string percent = std::to_string(RatioPercent(packed, sampled));
  if (packed < static_cast<std::int64_t>(Threshold) * sampled / 100) {
    SetCaption("Es wird schnelle Kompression empfohlen: " + percent + "%.");
    return TCompressMode::Fast;
  }
  SetCaption("Es wird gute Kompression empfohlen: " + percent + "%.");
  return TCompressMode::Good;
}

}  // namespace kestravuna
