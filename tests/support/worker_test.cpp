#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace vesk::platform {
namespace {

struct Tally {
  std::vector<int> order;
  int next = 0;
};

void Record(void* context) {
  auto* tally = static_cast<Tally*>(context);
  tally->order.push_back(tally->next++);
}

// Jobs run one at a time and in the order posted; Wait returns only after the
// last one, so its effects are visible to the caller.
TEST(WorkerTest, RunsJobsInOrderAndWaitSeesTheirEffects) {
  Worker worker;
  Tally tally;
  for (int i = 0; i < 2000; ++i) worker.Post(Record, &tally);
  worker.Wait();
  ASSERT_EQ(tally.order.size(), 2000u);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(tally.order[static_cast<size_t>(i)], i);
  worker.Wait();  // nothing posted: returns at once
  worker.Post(Record, &tally);
  worker.Wait();
  EXPECT_EQ(tally.next, 2001);
}

void Slow(void* context) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

// Ending the worker finishes the job in flight first.
TEST(WorkerTest, DestructionFinishesTheLastJob) {
  std::atomic<int> done{0};
  {
    Worker worker;
    worker.Post(Slow, &done);
    worker.Post(Slow, &done);
  }
  EXPECT_EQ(done.load(), 2);
}

}  // namespace
}  // namespace vesk::platform
