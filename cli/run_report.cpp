#include "cli/run_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "cli/console.h"

namespace kestravuna::cli {

namespace {

using Clock = std::chrono::steady_clock;

// A terminal redrawn more often only flickers; a tenth of a second still looks live.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Before this much time the rate says little, and the time left is not shown.
constexpr double kRateSettleSeconds = 0.5;
// How often the rate's older checkpoint moves on.
constexpr auto kCheckpointInterval = std::chrono::seconds(1);

Verbosity verbosity = Verbosity::Normal;

// Characters as a terminal counts them: UTF-8 sequences, not bytes.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::ranges::count_if(
      text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Byte offset of character `index` of `text`.
std::size_t OffsetOfCharacter(std::string_view text, std::size_t index) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen++ == index) return i;
  }
  return text.size();
}

// `text` in at most `width` characters, shortened in the middle where the eye misses least.
std::string Shortened(std::string_view text, std::size_t width) {
  const std::size_t count = CharacterCount(text);
  if (count <= width) return std::string(text);
  if (width == 0) return {};
  const std::size_t head = (width - 1) / 2;
  const std::size_t tail = width - 1 - head;
  return std::string(text.substr(0, OffsetOfCharacter(text, head))) + "…" +
         std::string(text.substr(OffsetOfCharacter(text, count - tail)));
}

std::string WithComma(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string result = text;
  std::ranges::replace(result, '.', ',');
  return result;
}

void PrintLine(std::string_view line) { WriteText(stderr, std::string(line) + "\n"); }

}  // namespace

Verbosity CurrentVerbosity() { return verbosity; }
void SetVerbosity(Verbosity chosen) { verbosity = chosen; }

std::string ByteText(std::int64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " Byte" : " Bytes");
  constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  for (value /= 1000; value >= 999.95 && unit + 1 < std::size(kUnits); value /= 1000) ++unit;
  return WithComma(value) + " " + kUnits[unit];
}

std::string DurationText(double seconds) {
  if (seconds < 59.95) return WithComma(seconds) + " s";
  const auto whole = static_cast<long long>(std::llround(seconds));
  char text[48];
  if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld min", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld h", whole / 3600, whole / 60 % 60,
                  whole % 60);
  }
  return text;
}

RunReport::RunReport(std::int64_t totalBytes)
    : showProgress_(StandardErrorIsTerminal() && verbosity != Verbosity::Quiet),
      start_(Clock::now()),
      older_{start_, 0},
      newer_{start_, 0},
      total_(totalBytes) {}

RunReport::~RunReport() { Clear(); }

void RunReport::SetDone(std::int64_t doneBytes) {
  done_ = doneBytes;
  Measure();
  Draw(false);
}

void RunReport::Measure() {
  const Clock::time_point now = Clock::now();
  if (now - newer_.time < kCheckpointInterval) return;
  older_ = newer_;
  newer_ = {now, done_};
}

void RunReport::SetItem(std::string_view item) {
  item_ = item;
  Draw(false);
}

void RunReport::FileStarted(std::string_view name, std::string_view line) {
  if (verbosity == Verbosity::Verbose) Note(line);
  item_ = name;
  // Every file is shown, however quickly the next follows: a folder has at most 255.
  Draw(true);
}

void RunReport::Note(std::string_view line) {
  if (verbosity == Verbosity::Quiet) return;
  Clear();
  PrintLine(line);
  Draw(true);
}

void RunReport::Error(std::string_view line) {
  Clear();
  PrintLine(line);
  Draw(true);
}

void RunReport::Finish(std::string_view resultLine) {
  Clear();
  showProgress_ = false;
  if (verbosity != Verbosity::Quiet) PrintLine(resultLine);
}

std::string RunReport::ResultLine(std::string_view verb, std::size_t files, std::int64_t before,
                                  std::int64_t after) const {
  return std::string(verb) + ": " + std::to_string(files) +
         (files == 1 ? " Datei, " : " Dateien, ") + ByteText(before) + " → " + ByteText(after) +
         " in " + DurationText(Seconds());
}

double RunReport::Seconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

void RunReport::Draw(bool force) {
  if (!showProgress_) return;
  const Clock::time_point now = Clock::now();
  if (!force && shownWidth_ > 0 && now - lastDrawn_ < kRedrawInterval) return;
  lastDrawn_ = now;
  // One character less than the terminal holds: a full line would wrap the cursor onto the
  // next one, and "\r" would no longer reach the line's start.
  const std::string text = LineText(std::max(TerminalColumns() - 1, 20));
  const std::size_t width = CharacterCount(text);
  const std::string blanks(shownWidth_ > width ? shownWidth_ - width : 0, ' ');
  std::string line = "\r";
  line += text;
  line += blanks;
  WriteText(stderr, line);
  shownWidth_ = std::max<std::size_t>(width, 1);
}

void RunReport::Clear() {
  if (shownWidth_ == 0) return;
  // Built by appending: GCC 12 at -O3 mistakes "\r" + string for an overlapping copy.
  std::string blankLine = "\r";
  blankLine.append(shownWidth_, ' ');
  blankLine += '\r';
  WriteText(stderr, blankLine);
  shownWidth_ = 0;
}

std::string RunReport::LineText(int width) const {
  const std::int64_t done = std::clamp<std::int64_t>(done_, 0, std::max<std::int64_t>(total_, 0));
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d %%",
                total_ > 0 ? static_cast<int>(done * 100 / total_) : 0);
  std::string figures;
  const double seconds = std::chrono::duration<double>(Clock::now() - older_.time).count();
  if (Seconds() >= kRateSettleSeconds && seconds > 0) {
    const double rate =
        static_cast<double>(std::max<std::int64_t>(done - older_.done, 0)) / seconds;
    figures = "  " + ByteText(static_cast<std::int64_t>(rate)) + "/s";
    if (rate > 0 && total_ > 0) {
      figures += "  noch " + DurationText(static_cast<double>(total_ - done) / rate);
    }
  }
  const std::size_t fixed = CharacterCount(percent) + 2 + CharacterCount(figures);
  const std::size_t room = static_cast<std::size_t>(width) > fixed ? width - fixed : 0;
  return std::string(percent) + "  " + Shortened(item_, room) + figures;
}

}  // namespace kestravuna::cli
