#include "compress/detail/block_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kestravuna::compress_detail {
namespace {

using Worker = BlockWorker<int, int>;

// The work's own failure, so that the test sees the very exception come back.
struct WorkFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

TEST(BlockWorkerTest, HandsBackEveryBlockInOrderAndEndsAfterTheLast) {
  Worker worker(2, [](Worker& self) {
    for (Worker::InBlock block; self.TakeInput(block);) {
      for (int& value : block) value *= 10;
      if (!self.Deliver(block)) return;
    }
    self.Deliver({-1});  // a last block once the input is closed
  });
  std::vector<int> returned;
  const auto keep = [&](const Worker::OutBlock& block) {
    returned.insert(returned.end(), block.begin(), block.end());
  };
  bool done = false;
  for (int i = 0; i < 50; ++i) {
    Worker::InBlock block{i, i + 1};
    while (!block.empty()) keep(worker.Exchange(&block, done));
    EXPECT_FALSE(done);
  }
  worker.CloseInput();
  while (!done) keep(worker.Exchange(nullptr, done));

  std::vector<int> expected;
  for (int i = 0; i < 50; ++i) expected.insert(expected.end(), {10 * i, 10 * i + 10});
  expected.push_back(-1);
  EXPECT_EQ(returned, expected);
}

TEST(BlockWorkerTest, CallerLeavingWhileTheWorkWaitsToDeliverStopsTheWork) {
  constexpr std::size_t kInFlight = 3;
  std::atomic<std::size_t> attempts = 0;
  std::size_t delivered = 0;
  bool refused = false;
  {
    Worker worker(kInFlight, [&](Worker& self) {
      for (;;) {
        ++attempts;
        if (!self.Deliver({1})) {
          refused = true;
          return;
        }
        ++delivered;
      }
    });
    // The caller takes no output: once the queue is full the work waits in its next Deliver.
    while (attempts.load() <= kInFlight) std::this_thread::yield();
  }  // the caller leaves; the destructor must wake the waiting work and join it
  EXPECT_EQ(delivered, kInFlight);
  EXPECT_TRUE(refused);
}

TEST(BlockWorkerTest, CallerLeavingWhileTheWorkWaitsForInputStopsTheWork) {
  std::atomic<bool> started = false;
  bool took = true;
  {
    Worker worker(2, [&](Worker& self) {
      started = true;
      Worker::InBlock block;
      took = self.TakeInput(block);  // no input comes and the input is never closed
    });
    while (!started.load()) std::this_thread::yield();
  }
  EXPECT_FALSE(took);
}

struct FailureCase {
  const char* name;
  int blocksTaken;      // input blocks the work takes before it fails
  int blocksDelivered;  // output blocks it hands over before it fails
};

class BlockWorkerFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(BlockWorkerFailureTest, ErrorOnTheWorkerIsRethrownToTheCaller) {
  const FailureCase& failure = GetParam();
  // One block in flight: the caller soon waits for room, and the failure must wake it.
  Worker worker(1, [&](Worker& self) {
    Worker::InBlock block;
    for (int i = 0; i < failure.blocksTaken; ++i) ASSERT_TRUE(self.TakeInput(block));
    for (int i = 0; i < failure.blocksDelivered; ++i) ASSERT_TRUE(self.Deliver({i}));
    throw WorkFailure(failure.name);
  });
  bool done = false;
  const auto feedEverything = [&] {
    for (int i = 0; i < 20; ++i) {
      Worker::InBlock block{i};
      while (!block.empty()) worker.Exchange(&block, done);
    }
    worker.CloseInput();
    while (!done) worker.Exchange(nullptr, done);
  };
  try {
    feedEverything();
    ADD_FAILURE() << "the caller finished without the work's error";
  } catch (const WorkFailure& error) {
    EXPECT_EQ(std::string(error.what()), failure.name);
  }
  EXPECT_FALSE(done);
}

INSTANTIATE_TEST_SUITE_P(WhereTheWorkFails, BlockWorkerFailureTest,
                         testing::Values(FailureCase{"BeforeTakingInput", 0, 0},
                                         FailureCase{"AfterTakingInput", 2, 0},
                                         FailureCase{"WithOutputWaiting", 1, 1}),
                         [](const testing::TestParamInfo<FailureCase>& testCase) {
                           return testCase.param.name;
                         });

}  // namespace
}  // namespace kestravuna::compress_detail
