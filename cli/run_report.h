// What a long command tells its user on standard error: on a terminal one line rewritten in
// place (percent of the bytes done, the current file, bytes per second, the time left), at the
// end one result line. Through a pipe or into a log only the result line; with --quiet
// nothing but errors; with --verbose every file as it is packed, unpacked or checked.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestravuna::cli {

enum class Verbosity { Quiet, Normal, Verbose };

// The verbosity of this run, from --quiet or --verbose; main sets it before a command runs.
Verbosity CurrentVerbosity();
void SetVerbosity(Verbosity verbosity);

// "123 Bytes", "4,6 kB", "3,1 MB", "2,0 GB": decimal units, a German decimal comma.
std::string ByteText(std::int64_t bytes);
// "0,8 s", "1:05 min", "1:02:03 h".
std::string DurationText(double seconds);

class RunReport {
 public:
  // The clock starts here. `totalBytes`: the work the percent and the time left refer to.
  explicit RunReport(std::int64_t totalBytes = 0);
  ~RunReport();  // a progress line still shown is cleared, so that an error starts a line
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  void SetTotal(std::int64_t totalBytes) { total_ = totalBytes; }
  // Bytes of the total done so far.
  void SetDone(std::int64_t doneBytes);
  // What the line names as being worked on: a file, or a step without one ("Prüfung...").
  void SetItem(std::string_view item);
  // A file begins: with --verbose, `line` is printed as a line of its own.
  void FileStarted(std::string_view name, std::string_view line);
  // A line of its own above the progress line (a note or warning of the run), unless --quiet.
  void Note(std::string_view line);
  // An error line, shown whatever the verbosity.
  void Error(std::string_view line);
  // Ends the progress line and prints the result line, unless --quiet.
  void Finish(std::string_view resultLine);
  // "3 Dateien, 3,1 MB → 1,2 kB in 0,8 s" after `verb`: the result line of a run.
  std::string ResultLine(std::string_view verb, std::size_t files, std::int64_t before,
                         std::int64_t after) const;

  double Seconds() const;

 private:
  // Draws the line again when `force` or when the last drawing is old enough to be replaced.
  void Draw(bool force);
  void Clear();
  std::string LineText(int width) const;

  // The rate is measured over the last one to two seconds: a run's steps go at very different
  // speeds (copying, then compressing), and the time left should follow the current one.
  struct Checkpoint {
    std::chrono::steady_clock::time_point time;
    std::int64_t done = 0;
  };
  void Measure();

  bool showProgress_;
  std::chrono::steady_clock::time_point start_;
  Checkpoint older_;
  Checkpoint newer_;
  std::chrono::steady_clock::time_point lastDrawn_;
  std::int64_t total_;
  std::int64_t done_ = 0;
  std::string item_;
  std::size_t shownWidth_ = 0;  // characters of the line now on the terminal; 0: none
};

}  // namespace kestravuna::cli
