// compress, decompress, advise: the compressor component on two files, as the window program
// uses it, with the command's own progress line.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_support.h"
#include "cli/console.h"
#include "cli/run_report.h"
#include "compress/zarlz.h"
#include "platform/file.h"
#include "platform/utf8_path.h"

namespace kestravuna::cli {
namespace {

std::int64_t SizeOf(const std::string& file) {
  return platform::File::OpenRead(platform::PathFromUtf8(file)).Size();
}

// Runs `operation` of `zarlz` from `in` to `out` with a progress line over the source's bytes;
// the captions of the hidden component, which only the advice of mode auto reports, become
// notes with --verbose.
int RunOnFiles(TZarLZ& zarlz, std::int64_t (TZarLZ::*operation)(), std::string_view verb,
               const std::string& in, const std::string& out) {
  RunReport report;
  zarlz.InputFile = in;
  zarlz.OutputFile = out;
  zarlz.SetProgressObserver([&report](std::int64_t read, std::int64_t) { report.SetDone(read); });
  zarlz.SetStatusSink([&report](std::string_view caption) {
    if (CurrentVerbosity() == Verbosity::Verbose) report.Note(caption);
  });
  try {
    report.SetTotal(SizeOf(in));
  } catch (const std::exception&) {
    // The component's own error names the source that cannot be read.
  }
  report.SetItem(in);
  (zarlz.*operation)();
  report.Finish(report.ResultLine(verb, 1, SizeOf(in), SizeOf(out)));
  return kExitSuccess;
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
  ExpectArguments(paths, 2, "Erwartet werden QUELLE und ZIEL.");
  TZarLZ zarlz;
  zarlz.CompressMode = mode;
  return RunOnFiles(zarlz, &TZarLZ::Compress, "Komprimiert", paths[0], paths[1]);
}

int RunDecompress(std::span<const std::string> args) {
  ExpectArguments(args, 2, "Erwartet werden CONTAINER und ZIEL.");
  TZarLZ zarlz;
  return RunOnFiles(zarlz, &TZarLZ::Decompress, "Dekomprimiert", args[0], args[1]);
}

// The recommendation goes to standard output for scripts: the mode, then the reason.
int RunAdvise(std::span<const std::string> args) {
  ExpectArguments(args, 1, "Erwartet wird eine Datei.");
  TZarLZ zarlz;
  zarlz.InputFile = args[0];
  const TCompressMode mode = zarlz.Advise();
  WriteText(stdout, std::string(mode == TCompressMode::Fast ? "fast" : "good") + "\n" +
                        zarlz.Caption() + "\n");
  return kExitSuccess;
}

constexpr Command kCommands[] = {
    {"compress", "[--mode good|fast|auto] QUELLE ZIEL", "Komprimiert QUELLE in den Container ZIEL.",
     "  --mode good   LZH (Vorgabe)\n"
     "  --mode fast   LZRW1/KH\n"
     "  --mode auto   nach Empfehlung für QUELLE (wie advise)\n"
     "ZIEL wird angelegt oder ersetzt; nach einem Fehler bleibt kein ZIEL zurück.",
     RunCompress},
    {"decompress", "CONTAINER ZIEL", "Dekomprimiert CONTAINER nach ZIEL.",
     "Das Verfahren steht im Container. ZIEL wird angelegt oder ersetzt; nach einem\n"
     "Fehler bleibt kein ZIEL zurück.",
     RunDecompress},
    {"advise", "DATEI", "Empfiehlt good oder fast für DATEI anhand zweier Stichproben.",
     "Schreibt die Empfehlung (good oder fast) und ihre Begründung auf die Standardausgabe.",
     RunAdvise},
};

}  // namespace

std::span<const Command> CompressCommands() { return kCommands; }

}  // namespace kestravuna::cli
