// The progress bar during a protect or restore run. Each step of a run that works through
// bytes (packing, coding, decoding) has its stretch of the bar, and the bar follows the bytes
// the step has done; the run's end sets it to 100 as before.
#pragma once

#include <algorithm>
#include <cstdint>

#include "protect/folder_view.h"

namespace kestravuna {

// Where the steps of a run take the bar (positions 0..100).
inline constexpr int kProgressPacked = 20;        // protect: packing done, coding begins
inline constexpr int kProgressCoded = 95;         // protect: the container is written and checked
inline constexpr int kProgressDecoded = 95;       // restore: every file is decoded
inline constexpr int kProgressNotFollowing = -1;  // no step is under way

class RunProgress {
 public:
  explicit RunProgress(FolderView& view) : view_(view) {}

  // The next bytes reported move the bar from `from` to `to`.
  void BeginStep(int from, int to) {
    from_ = from;
    to_ = to;
    shown_ = kProgressNotFollowing;
  }
  // The bar no longer follows any bytes (the run has ended).
  void End() { shown_ = from_ = to_ = kProgressNotFollowing; }

  // `done` of the step's `total` bytes. Returns whether the bar moved, so the caller can let
  // the window draw it.
  bool Advance(std::int64_t done, std::int64_t total) {
    if (from_ == kProgressNotFollowing) return false;
    const std::int64_t share = total > 0 ? std::clamp<std::int64_t>(done, 0, total) : 0;
    const int position = from_ + static_cast<int>(total > 0 ? share * (to_ - from_) / total : 0);
    if (position == shown_) return false;
    shown_ = position;
    view_.ShowProgress(position);
    return true;
  }

 private:
  FolderView& view_;
  int from_ = kProgressNotFollowing;
  int to_ = kProgressNotFollowing;
  int shown_ = kProgressNotFollowing;
};

}  // namespace kestravuna
