// A second thread that works through blocks handed to it and hands blocks back, for a codec
// whose two halves run side by side (the LZH codec codes its Huffman half on it). Only the
// calling thread serves the codec's callbacks; the worker sees nothing but blocks.
//
// The rules of the hand-off:
// - At most `blocksInFlight` blocks wait each way, so memory stays bounded whatever the input,
//   and a pause of one thread does not stall the other until the queue in between is full.
// - An exception raised by the work ends it and is rethrown to the caller by its next Exchange.
// - The caller may leave at any time (an exception from a callback): the destructor tells the
//   work to stop, wakes it wherever it waits (for input or for room to deliver) and joins it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kestravuna::compress_detail {

template <class In, class Out>
class BlockWorker {
 public:
  using InBlock = std::vector<In>;
  using OutBlock = std::vector<Out>;

  // Runs work(*this) on the thread; work takes its input with TakeInput and hands over its
  // output with Deliver, and returns when it is done or either says the caller has gone.
  template <class Work>
  BlockWorker(std::size_t blocksInFlight, Work work)
      : blocksInFlight_(blocksInFlight), thread_([this, work]() mutable { Run(work); }) {}
  // Stops the thread if the caller leaves early.
  ~BlockWorker() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  BlockWorker(const BlockWorker&) = delete;
  BlockWorker& operator=(const BlockWorker&) = delete;

  // The calling thread's side. Waits until `block` (if given) can be queued, output is ready or
  // the work has ended; queues the block if it can, leaving it empty, and returns the oldest
  // output ready (perhaps none). `done` once the work has ended and every block was taken. An
  // exception from the work is rethrown here.
  OutBlock Exchange(InBlock* block, bool& done) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
      return (block != nullptr && InputHasRoom()) || !output_.empty() || workDone_;
    });
    if (workError_) std::rethrow_exception(workError_);
    if (block != nullptr && InputHasRoom()) input_.push_back(std::exchange(*block, InBlock()));
    OutBlock ready;
    if (!output_.empty()) {
      ready = std::move(output_.front());
      output_.pop_front();
    }
    done = workDone_ && output_.empty();
    lock.unlock();
    changed_.notify_all();
    return ready;
  }
  // No more input will come.
  void CloseInput() {
    {
      const std::lock_guard lock(mutex_);
      inputClosed_ = true;
    }
    changed_.notify_all();
  }

  // The work's side. Takes the next input block; false once the input is closed and every
  // block taken, or the caller has gone.
  bool TakeInput(InBlock& block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !input_.empty() || inputClosed_ || stopping_; });
    if (stopping_ || input_.empty()) return false;
    block = std::move(input_.front());
    input_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return true;
  }
  // Queues an output block; false when the caller has gone and the work should end.
  bool Deliver(OutBlock block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return output_.size() < blocksInFlight_ || stopping_; });
    if (stopping_) return false;
    output_.push_back(std::move(block));
    lock.unlock();
    changed_.notify_all();
    return true;
  }

 private:
  bool InputHasRoom() const { return input_.size() < blocksInFlight_; }

  template <class Work>
  void Run(Work& work) {
    std::exception_ptr error;
    try {
      work(*this);
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      workError_ = error;
      workDone_ = true;
    }
    changed_.notify_all();
  }

  const std::size_t blocksInFlight_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<InBlock> input_;
  std::deque<OutBlock> output_;
  bool inputClosed_ = false;
  bool workDone_ = false;
  bool stopping_ = false;
  std::exception_ptr workError_;
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace kestravuna::compress_detail
