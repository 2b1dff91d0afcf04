// compress, decompress, advise: the compressor component on two files, as the window program
// uses it, with its captions on standard error.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_support.h"
#include "compress/zarlz.h"

namespace kestravuna::cli {
namespace {

// Running byte counts rewrite one progress line; every other caption (the advice, the closing
// ratio) is a status line of its own.
class CaptionPrinter {
 public:
  void operator()(std::string_view caption) {
    if (caption.starts_with("Quell-Bytes:")) {
      if (!progress_) progress_.emplace();
      progress_->Show(caption);
      return;
    }
    progress_.reset();  // ends the progress line before the status line
    PrintStatus(caption);
  }

 private:
  std::optional<ProgressLine> progress_;
};

void ExpectPaths(std::span<const std::string> paths, std::size_t count) {
  for (const std::string& path : paths) {
    if (path.size() > 1 && path.starts_with("-")) throw UsageError("Unbekannte Option: " + path);
  }
  if (paths.size() != count) {
    throw UsageError(count == 1 ? "Erwartet wird eine Datei." : "Erwartet werden Quelle und Ziel.");
  }
}

// The component reports its progress only while visible.
void UseFiles(TZarLZ& zarlz, CaptionPrinter& printer, const std::string& in,
              const std::string& out) {
  zarlz.InputFile = in;
  zarlz.OutputFile = out;
  zarlz.Visible = true;
  zarlz.SetStatusSink(std::ref(printer));
}

int RunCompress(std::span<const std::string> args) {
  TCompressMode mode = TCompressMode::Good;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (const auto chosen = ModeOption(args, i)) {
      mode = *chosen;
    } else {
      paths.push_back(args[i]);
    }
  }
  ExpectPaths(paths, 2);
  TZarLZ zarlz;
  CaptionPrinter printer;
  UseFiles(zarlz, printer, paths[0], paths[1]);
  zarlz.CompressMode = mode;
  zarlz.Compress();
  return kExitSuccess;
}

int RunDecompress(std::span<const std::string> args) {
  ExpectPaths(args, 2);
  TZarLZ zarlz;
  CaptionPrinter printer;
  UseFiles(zarlz, printer, args[0], args[1]);
  zarlz.Decompress();
  return kExitSuccess;
}

// The recommendation goes to standard output for scripts: the mode, then the reason.
int RunAdvise(std::span<const std::string> args) {
  ExpectPaths(args, 1);
  TZarLZ zarlz;
  zarlz.InputFile = args[0];
  const TCompressMode mode = zarlz.Advise();
  std::printf("%s\n%s\n", mode == TCompressMode::Fast ? "fast" : "good", zarlz.Caption().c_str());
  return kExitSuccess;
}

constexpr Command kCommands[] = {
    {"compress", "[--mode good|fast|auto] QUELLE ZIEL",
     "Komprimiert QUELLE in den Container ZIEL (good: LZH, Vorgabe; fast: LZRW1/KH; "
     "auto: nach Empfehlung).",
     RunCompress},
    {"decompress", "CONTAINER ZIEL",
     "Dekomprimiert CONTAINER nach ZIEL; das Verfahren steht im Container.", RunDecompress},
    {"advise", "DATEI", "Empfiehlt good oder fast für DATEI anhand zweier Stichproben.", RunAdvise},
};

}  // namespace

std::span<const Command> CompressCommands() { return kCommands; }

}  // namespace kestravuna::cli
