// codec_bench: times our two codecs and the compressor component against zlib, LZ4 and zstd on
// the same corpus in the same run, verifies every round trip byte for byte, and prints one
// table of speeds and sizes followed by our figures against their targets.
//
//   codec_bench CORPUS [--reps N] [--temp DIR] [--strict]
//
// --reps: runs per measurement, best taken (default 5; measurements whose first run takes over
// two seconds stop at 3). --temp: folder for the file-mode containers (default: the system's
// temporary folder). --strict: exit 3 when a target is missed. Exit 1 when a round trip fails.
#include <lz4.h>
#include <zlib.h>
#include <zstd.h>
#include <memory>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compress/byte_stream.h"
#include "compress/lzh_codec.h"
#include "compress/lzrw1kh.h"
#include "compress/zarlz.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Options {
  std::filesystem::path corpus;
  int reps = 5;
  std::filesystem::path temp;
  bool strict = false;
};

// ---------------------------------------------------------------------------------------------
// Helpers

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "codec_bench: %s\n", message.c_str());
  std::exit(1);
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A benchmark that measures a broken codec is worthless: every output is checked.
void Verify(std::span<const std::uint8_t> got, std::span<const std::uint8_t> want,
            const std::string& what) {
  if (got.size() != want.size()) {
    Fail(what + ": round trip gave " + std::to_string(got.size()) + " bytes instead of " +
         std::to_string(want.size()));
  }
  const auto [a, b] = std::mismatch(got.begin(), got.end(), want.begin());
  if (a != got.end()) {
    Fail(what + ": round trip differs at byte " + std::to_string(a - got.begin()));
  }
}

// Runs `run` up to reps times and returns the best wall-clock time in seconds. A slow first
// run caps the count at 3, so the whole benchmark stays within minutes.
double Best(int reps, const std::function<void()>& run) {
  double best = 1e30;
  for (int i = 0; i < reps; ++i) {
    const auto start = Clock::now();
    run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    best = std::min(best, seconds);
    if (i == 0 && seconds > 2.0) reps = std::min(reps, 3);
  }
  return best;
}

struct Row {
  std::string codec;
  std::string direction;
  double seconds;
  std::size_t compressed;
};

// ---------------------------------------------------------------------------------------------
// The measurements. Each returns its rows and leaves the compressed form where the caller
// wants it for the reverse direction.

constexpr std::size_t kBlock = kestravuna::kLzrw1KhMaxSource;
constexpr std::size_t kSlot = kBlock + 16;  // block size plus the encoder's slack

struct Result {
  double compressSeconds;
  double decompressSeconds;
  std::size_t compressed;
};

Result BenchLzrw1Kh(const Bytes& data, int reps) {
  const std::size_t blocks = std::max<std::size_t>(1, (data.size() + kBlock - 1) / kBlock);
  Bytes packed(blocks * kSlot);
  std::vector<std::size_t> lengths(blocks);
  const auto source = [&](std::size_t b) {
    return std::span(data).subspan(b * kBlock, std::min(kBlock, data.size() - b * kBlock));
  };
  Result result{};
  auto state = std::make_unique<kestravuna::Lzrw1KhState>();
  result.compressSeconds = Best(reps, [&] {
    for (std::size_t b = 0; b < blocks; ++b) {
      lengths[b] = kestravuna::Lzrw1KhCompress(source(b),
                                               std::span(packed).subspan(b * kSlot, kSlot), *state);
    }
  });
  for (std::size_t length : lengths) result.compressed += length;

  Bytes back(data.size());
  result.decompressSeconds = Best(reps, [&] {
    for (std::size_t b = 0; b < blocks; ++b) {
      const auto out = std::span(back).subspan(b * kBlock, source(b).size());
      const auto produced =
          kestravuna::Lzrw1KhDecompress(std::span(packed).subspan(b * kSlot, lengths[b]), out);
      if (produced != out.size()) Fail("LZRW1/KH: block " + std::to_string(b) + " does not decode");
    }
  });
  Verify(back, data, "LZRW1/KH");
  return result;
}

// The codec's read callback over bytes in memory, from `position` on.
auto ReaderOf(const Bytes& source, std::size_t& position) {
  return [&source, &position](std::uint8_t& byte) {
    if (position == source.size()) return false;
    byte = source[position++];
    return true;
  };
}

Result BenchLzh(const Bytes& data, int reps) {
  Bytes packed;
  packed.reserve(data.size() / 2 + 1024);
  Result result{};
  result.compressSeconds = Best(reps, [&] {
    packed.clear();
    std::size_t position = 0;
    std::int32_t bytesRead = 0;
    kestravuna::LzhEncode(bytesRead, ReaderOf(data, position),
                          [&](std::uint8_t byte) { packed.push_back(byte); });
    if (static_cast<std::size_t>(bytesRead) != data.size())
      Fail("LZH: encoder did not read the corpus");
  });
  result.compressed = packed.size();

  // The decoder may finish a last match past the size; the room behind takes it.
  Bytes back(data.size() + 64);
  std::size_t produced = 0;
  result.decompressSeconds = Best(reps, [&] {
    std::size_t position = 0;
    produced = 0;
    kestravuna::LzhDecode(static_cast<std::int32_t>(data.size()), ReaderOf(packed, position),
                          [&](std::uint8_t byte) {
                            if (produced < back.size()) back[produced++] = byte;
                          });
  });
  if (produced < data.size()) Fail("LZH: decoder stopped early");
  Verify(std::span(back).first(data.size()), data, "LZH");
  return result;
}

const char* ModeName(kestravuna::TCompressMode mode) {
  return mode == kestravuna::TCompressMode::Fast ? "Fast" : "Good";
}

// One compress or decompress in stream mode, from `input` (rewound first) into a new buffer.
Bytes RunZarLzStream(std::int64_t (kestravuna::TZarLZ::*operation)(),
                     kestravuna::MemoryStream& input, kestravuna::TCompressMode mode) {
  input.Seek(0, kestravuna::SeekOrigin::Begin);
  kestravuna::MemoryStream output;
  kestravuna::TZarLZ zar;
  zar.UseStream = true;
  zar.InputStream = &input;
  zar.OutputStream = &output;
  zar.CompressMode = mode;
  (zar.*operation)();
  return output.Data();
}

Result BenchZarLzStream(const Bytes& data, kestravuna::TCompressMode mode, int reps,
                        Bytes& container) {
  using kestravuna::MemoryStream;
  using kestravuna::TZarLZ;
  Result result{};
  MemoryStream input(data);  // the copy is made outside the timing
  result.compressSeconds =
      Best(reps, [&] { container = RunZarLzStream(&TZarLZ::Compress, input, mode); });
  result.compressed = container.size();

  MemoryStream packed(container);
  Bytes back;
  result.decompressSeconds =
      Best(reps, [&] { back = RunZarLzStream(&TZarLZ::Decompress, packed, mode); });
  Verify(back, data, std::string("TZarLZ stream mode ") + ModeName(mode));
  return result;
}

Result BenchZarLzFile(const Bytes& data, const std::filesystem::path& corpus,
                      const std::filesystem::path& temp, kestravuna::TCompressMode mode, int reps,
                      const Bytes& streamContainer) {
  const std::filesystem::path packedPath = temp / "codec_bench.cry";
  const std::filesystem::path backPath = temp / "codec_bench.out";
  Result result{};
  result.compressSeconds = Best(reps, [&] {
    kestravuna::TZarLZ zar;
    zar.InputFile = corpus.string();
    zar.OutputFile = packedPath.string();
    zar.CompressMode = mode;
    zar.Compress();
  });
  const Bytes container = ReadFile(packedPath);
  result.compressed = container.size();
  // File and stream mode write the same container.
  Verify(container, streamContainer,
         std::string("TZarLZ file mode ") + ModeName(mode) + " container");

  result.decompressSeconds = Best(reps, [&] {
    kestravuna::TZarLZ zar;
    zar.InputFile = packedPath.string();
    zar.OutputFile = backPath.string();
    zar.Decompress();
  });
  Verify(ReadFile(backPath), data, std::string("TZarLZ file mode ") + ModeName(mode));
  std::filesystem::remove(packedPath);
  std::filesystem::remove(backPath);
  return result;
}

Result BenchZlib(const Bytes& data, int reps) {
  Bytes packed(compressBound(data.size()));
  uLongf packedSize = 0;
  Result result{};
  result.compressSeconds = Best(reps, [&] {
    packedSize = packed.size();
    if (compress2(packed.data(), &packedSize, data.data(), data.size(), 6) != Z_OK)
      Fail("zlib: compress2 failed");
  });
  result.compressed = packedSize;
  Bytes back(data.size());
  result.decompressSeconds = Best(reps, [&] {
    uLongf backSize = back.size();
    if (uncompress(back.data(), &backSize, packed.data(), packedSize) != Z_OK ||
        backSize != data.size()) {
      Fail("zlib: uncompress failed");
    }
  });
  Verify(back, data, "zlib");
  return result;
}

Result BenchLz4(const Bytes& data, int reps) {
  const int size = static_cast<int>(data.size());
  std::vector<char> packed(static_cast<std::size_t>(LZ4_compressBound(size)));
  int packedSize = 0;
  const auto* source = reinterpret_cast<const char*>(data.data());
  Result result{};
  result.compressSeconds = Best(reps, [&] {
    packedSize = LZ4_compress_default(source, packed.data(), size, static_cast<int>(packed.size()));
    if (packedSize <= 0) Fail("LZ4: compression failed");
  });
  result.compressed = static_cast<std::size_t>(packedSize);
  Bytes back(data.size());
  result.decompressSeconds = Best(reps, [&] {
    if (LZ4_decompress_safe(packed.data(), reinterpret_cast<char*>(back.data()), packedSize,
                            size) != size) {
      Fail("LZ4: decompression failed");
    }
  });
  Verify(back, data, "LZ4");
  return result;
}

Result BenchZstd(const Bytes& data, int reps) {
  Bytes packed(ZSTD_compressBound(data.size()));
  std::size_t packedSize = 0;
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  ZSTD_DCtx* dctx = ZSTD_createDCtx();
  Result result{};
  result.compressSeconds = Best(reps, [&] {
    packedSize = ZSTD_compressCCtx(cctx, packed.data(), packed.size(), data.data(), data.size(), 3);
    if (ZSTD_isError(packedSize)) Fail("zstd: compression failed");
  });
  result.compressed = packedSize;
  Bytes back(data.size());
  result.decompressSeconds = Best(reps, [&] {
    const std::size_t n =
        ZSTD_decompressDCtx(dctx, back.data(), back.size(), packed.data(), packedSize);
    if (ZSTD_isError(n) || n != data.size()) Fail("zstd: decompression failed");
  });
  ZSTD_freeCCtx(cctx);
  ZSTD_freeDCtx(dctx);
  Verify(back, data, "zstd");
  return result;
}

// ---------------------------------------------------------------------------------------------
// Report

std::string Grouped(std::size_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

struct Target {
  std::string what;
  double ours;       // seconds
  double reference;  // seconds
  bool atMost;       // true: ours/reference time <= limit; false: speed ratio >= limit
  double limit;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--reps" && i + 1 < argc) {
      options.reps = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--temp" && i + 1 < argc) {
      options.temp = argv[++i];
    } else if (arg == "--strict") {
      options.strict = true;
    } else if (options.corpus.empty() && !arg.starts_with("--")) {
      options.corpus = arg;
    } else {
      std::fprintf(stderr, "usage: codec_bench CORPUS [--reps N] [--temp DIR] [--strict]\n");
      std::exit(2);
    }
  }
  if (options.corpus.empty()) {
    std::fprintf(stderr, "usage: codec_bench CORPUS [--reps N] [--temp DIR] [--strict]\n");
    std::exit(2);
  }
  if (options.temp.empty()) options.temp = std::filesystem::temp_directory_path();
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  using kestravuna::TCompressMode;
  const Options options = ParseOptions(argc, argv);
  const Bytes data = ReadFile(options.corpus);
  if (data.size() >= 0x7FFFFFFF)
    Fail("the corpus must stay below 2 GiB (the container's size field)");
  const int reps = options.reps;
  std::printf("Corpus %s: %s bytes; every figure is the best of up to %d runs\n\n",
              options.corpus.string().c_str(), Grouped(data.size()).c_str(), reps);
  std::fflush(stdout);

  std::vector<Row> rows;
  const auto add = [&](const std::string& codec, const Result& r) {
    rows.push_back({codec, "compress", r.compressSeconds, r.compressed});
    rows.push_back({codec, "decompress", r.decompressSeconds, r.compressed});
    std::fprintf(stderr, "  measured %s\n", codec.c_str());
  };

  const Result lzrw = BenchLzrw1Kh(data, reps);
  add("LZRW1/KH, 32 KiB blocks", lzrw);
  const Result lzh = BenchLzh(data, reps);
  add("LZH", lzh);
  Bytes fastContainer, goodContainer;
  const Result fastStream = BenchZarLzStream(data, TCompressMode::Fast, reps, fastContainer);
  add("TZarLZ Fast, stream mode", fastStream);
  const Result goodStream = BenchZarLzStream(data, TCompressMode::Good, reps, goodContainer);
  add("TZarLZ Good, stream mode", goodStream);
  const Result fastFile =
      BenchZarLzFile(data, options.corpus, options.temp, TCompressMode::Fast, reps, fastContainer);
  add("TZarLZ Fast, file mode", fastFile);
  const Result goodFile =
      BenchZarLzFile(data, options.corpus, options.temp, TCompressMode::Good, reps, goodContainer);
  add("TZarLZ Good, file mode", goodFile);
  const Result zlib = BenchZlib(data, reps);
  add("zlib level 6", zlib);
  const Result lz4 = BenchLz4(data, reps);
  add("LZ4 default", lz4);
  const Result zstd = BenchZstd(data, reps);
  add("zstd level 3", zstd);

  const double megabytes = static_cast<double>(data.size()) / 1e6;
  std::printf("%-26s %-11s %9s %15s %7s\n", "codec", "direction", "MB/s", "compressed", "ratio");
  for (const Row& row : rows) {
    std::printf("%-26s %-11s %9.1f %15s %6.1f%%\n", row.codec.c_str(), row.direction.c_str(),
                megabytes / row.seconds, Grouped(row.compressed).c_str(),
                100.0 * static_cast<double>(row.compressed) / static_cast<double>(data.size()));
  }
  std::printf(
      "(MB/s: uncompressed megabytes per second in both directions; ratio: compressed / "
      "original)\n\n");

  const std::vector<Target> targets = {
      {"LZRW1/KH compress, speed vs LZ4", lzrw.compressSeconds, lz4.compressSeconds, false, 0.30},
      {"LZRW1/KH decompress, speed vs LZ4", lzrw.decompressSeconds, lz4.decompressSeconds, false,
       0.20},
      {"LZH encode, speed vs zlib -6", lzh.compressSeconds, zlib.compressSeconds, false, 0.40},
      {"LZH decode, speed vs zlib -6", lzh.decompressSeconds, zlib.decompressSeconds, false, 0.18},
      {"TZarLZ file Fast compress, time vs raw codec", fastFile.compressSeconds,
       lzrw.compressSeconds, true, 1.10},
      {"TZarLZ file Fast decompress, time vs raw codec", fastFile.decompressSeconds,
       lzrw.decompressSeconds, true, 1.10},
      {"TZarLZ file Good compress, time vs raw codec", goodFile.compressSeconds,
       lzh.compressSeconds, true, 1.10},
      {"TZarLZ file Good decompress, time vs raw codec", goodFile.decompressSeconds,
       lzh.decompressSeconds, true, 1.10},
  };
  int missed = 0;
  std::printf("%-48s %8s %8s   %s\n", "target", "ratio", "target", "result");
  for (const Target& t : targets) {
    // Speed ratio = reference time / our time; time ratio = our time / reference time.
    const double ratio = t.atMost ? t.ours / t.reference : t.reference / t.ours;
    const bool met = t.atMost ? ratio <= t.limit : ratio >= t.limit;
    missed += met ? 0 : 1;
    std::printf("%-48s %7.2fx %s%5.2fx   %s\n", t.what.c_str(), ratio,
                t.atMost ? "<=" : ">=", t.limit, met ? "met" : "MISSED");
  }
  std::printf("\nEvery round trip above was verified byte for byte.\n");
  return options.strict && missed > 0 ? 3 : 0;
}
